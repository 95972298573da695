// A lyric sheet put onto a song: the sheet's syllables (split for singing
// where asked), the melody chosen, the alignment, and the words written into
// the song as lyric events and Soft Karaoke text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "align/align_error.h"
#include "align/aligner.h"
#include "align/lyric_sheet.h"
#include "align/melody.h"
#include "lyrics/converters.h"
#include "model/song.h"
#include "model/song_facts.h"

namespace verselane::align {

struct SheetRequest {
    std::string SheetUtf8;
    std::string Language;    // empty: the song's "@L" line, else guessed from the words
    bool AsWritten = false;  // take the sheet's words and "-" marks as the syllables
    int MelodyTrack = -1;    // -1: chosen
    std::vector<std::pair<size_t, int32_t>> Pins;  // syllable from 1, tick
    AlignWeights Weights;
    const std::atomic<bool>* Stop = nullptr;  // set from another thread: AlignStopped
};

// Where the language that splits the words came from.
enum class LanguageSource { Given, SongKaraokeLine, GuessedFromWords };

// The language of a song's words when none is given: its "@L" line, else
// guessed from the words (UTF-8); with where it came from.
std::pair<std::string, LanguageSource> SongLanguage(const Song& song, std::string_view Utf8Words);

// Where the melody's notes ran out: the first syllable without a note (from
// 1) and its line of the sheet; where that is before a pin that left no note
// for the syllables before it, the pinned syllable (from 1), else 0.
struct NotesRanOut {
    size_t Syllable = 0;
    int Line = 0;
    size_t BeforePin = 0;
};

struct SheetAlignment {
    LyricSheet Sheet;      // the syllables as sung, in order
    std::string Language;  // ISO 639-1 code used to split
    LanguageSource LanguageFrom = LanguageSource::Given;
    std::string DictionaryMissingFrom;  // empty when the dictionary was there, else
                                        // the folder that lacks it
    std::vector<NoteLine> Lines;
    MelodyChoice Melody;
    std::vector<SyllableShape> Shapes;  // what the aligner knew of each syllable
    Alignment Placement;
    std::optional<NotesRanOut> RanOut;  // set when the melody has too few notes
};

// The syllables of a sheet as sung: words without marks split by the
// splitter (words joined by "~" sharing the syllable where they meet),
// marked words as written.
LyricSheet SungSyllables(const LyricSheet& Sheet, const class SyllableSplitter& Splitter);

// Whether a sheet is written word by word, as many karaoke files hold their
// words: it splits at most a fifth of its words of several syllables (the
// words the splitter splits that it leaves whole among them). A file timed
// word by word that splits a word or two by hand ("a-bove") still sings
// its other words whole over several notes; a sheet that splits most such
// words means the ones it leaves whole (the splitter may be wrong).
bool WrittenWordByWord(const LyricSheet& Sheet, const class SyllableSplitter& Splitter);

// What the aligner needs of each syllable: its place in words, lines and
// paragraphs, the sheet's marks, whether it was split off by rule, whether
// its word follows one that ends a phrase (a comma, a full stop) inside a
// line, whether its vowel is written out long ("sooo"), how the language
// (an ISO 639-1 code; empty: none) stresses it, and, given the splitter of
// a sheet written word by word, how many more syllables each word it
// leaves whole is sung with.
std::vector<SyllableShape> ShapesOf(const LyricSheet& Sheet, std::string_view Language = {},
                                    const class SyllableSplitter* Splitter = nullptr);

// Reads the sheet, chooses the melody and aligns. Raises AlignError
// for an empty or unreadable sheet, a melody track that plays no notes, a pin
// outside 1 to the number of syllables and pins going back in time.
SheetAlignment AlignSheet(const Song& song, const SheetRequest& Request);

// The text of each syllable's lyric event: the syllable, a space at a word's
// end, CR at a line's end and LF CR at a paragraph's end (as the converters
// write them). A "/" or a backslash that would open a syllable, which players
// read as a line's end, joins the syllable before inside a word and gets a space in
// front elsewhere.
std::vector<std::string> LyricTexts(const LyricSheet& Sheet);

// The Soft Karaoke "@L" name of a language code ("en" -> "ENGL", "de" ->
// "GERM"), "ENGL" for a code it does not know.
std::string KaraokeLanguageName(const std::string& Code);

// Whether the song has sung words: a lyric event with something visible, or
// Soft Karaoke text with a sung line (which the reader's facts tell).
bool SongHasWords(const Song& song, const SongFacts& facts);

enum class WordsOutput { Lyrics, Karaoke, Both };

// Puts the placed syllables into the song: one lyric event per syllable in
// one track (an empty track named for words is reused, else a new "Lyrics"
// track is added), and for Karaoke or Both the Soft Karaoke words track made
// from them by the converter (without the lyric events for Karaoke). With
// `Replace` the song's old words go first: every lyric event, and the Soft
// Karaoke text with its "@K" line. `Texts` are the lyric events' bytes, in
// the song's encoding (LyricTexts, then the encoding layer's SungWordsIn).
// The facts say the song holds lyric events (and karaoke text) after it.
void PutWords(Song& song, SongFacts& facts, const std::vector<std::string>& Texts,
              const Alignment& Placement, WordsOutput Output, const KaraokeInfo& Info,
              bool Replace);

}  // namespace verselane::align
