// The lyric sheet: the words of a song as plain text, one sung line a line,
// a blank line between paragraphs, with the optional marks that writers of
// abc notation's "w:" lines and of LilyPond lyrics know.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "align/align_error.h"

namespace verselane::align {

// One sung syllable of the sheet, in sheet order.
struct SheetSyllable {
    std::string Text;             // UTF-8, marks removed; words joined by "~" keep a space
    bool WordStart = true;        // the first syllable of a word
    bool LineStart = false;       // the first syllable of a sung line
    bool ParagraphStart = false;  // the first syllable of a paragraph (the first always is)
    bool NewBar = false;          // "|" before it: it goes into a later bar
    int Holds = 0;                // "_" after it: one more note each
    int SkipsBefore = 0;          // "*" before it: notes left without words
    bool Marked = false;          // its word was split by "-" marks in the sheet
    int Line = 0;                 // the sheet's line it stands on, from 1
    bool SplitByRule = false;     // split off its word by the syllable rules or at a soft
                                  // hyphen, not by a mark of the sheet
    // A stanza's number opening a line ("1.", "2)"): shown with the word
    // after it, on that word's note, not sung on one of its own.
    bool VerseNumber = false;
};

// A line of the sheet that is not sung as it is written. Lyric sheets from
// the web and from songbooks name their sections ("[Chorus]", "Verse 2:"),
// put chord names over the words (and guitar tablature before them), and
// write a line or a chorus once where it
// is sung again ("(x2)", "Repeat chorus", a second "[Chorus]" with nothing
// under it). A label or a line of chords is left out of the words; a repeat
// sings the lines it names again where it stands. Credits and copyrights
// under the words are left out too.
struct SheetLineNote {
    enum class Kind : uint8_t {
        Label,      // a section label: not sung
        Chords,     // a line of chord names: not sung
        Credit,     // who wrote the song, a copyright, a web page's leftovers: not sung
        SungAgain,  // lines From to To sung Times more times here
        Tablature,  // a line of guitar tablature ("e|--0--3--|"): not sung
    };
    Kind What = Kind::Label;
    int Line = 0;      // the line of the sheet, from 1
    std::string Text;  // that line, without the blanks around it
    int From = 0;      // SungAgain: the first and last line sung again
    int To = 0;
    int Times = 0;  // SungAgain: how many more times
};

struct LyricSheet {
    std::vector<SheetSyllable> Syllables;
    std::vector<SheetLineNote> NotSungAsWritten;  // in the order of the sheet's lines
    // Whether a syllable is the last of its word (the next opens a word or
    // there is none).
    bool WordEnd(size_t i) const { return i + 1 >= Syllables.size() || Syllables[i + 1].WordStart; }
    bool LineEnd(size_t i) const { return i + 1 >= Syllables.size() || Syllables[i + 1].LineStart; }
    // Whether the sheet splits no more than a quarter of its words: the
    // most it may split and still be written word by word (see
    // WrittenWordByWord), which a sheet splitting more is not.
    bool SplitsFewWords() const {
        size_t words = 0, split = 0;
        for (size_t i = 0; i < Syllables.size(); ++i) {
            if (!Syllables[i].WordStart) continue;
            ++words;
            if (!WordEnd(i)) ++split;
        }
        return split * 4 <= words;
    }
};

// The longest sheet the programs read or align: far beyond any song's
// words (a libretto is a tenth of it), short of taking seconds and hundreds
// of megabytes when a device or a wrong file is named or such text pasted:
// 16 MB of "a a a" took 10 s and 1.4 GB to be refused as too long to align,
// 1 MB takes 0.5 s and 110 MB.
constexpr size_t kLongestSheetBytes = 1 << 20;

// Reads a sheet given as UTF-8. A line that is a section label or holds
// only chord names is left out, and a line or section marked to be sung
// again is (see SheetLineNote; a line with a "\" in it is always sung as
// written). Words are separated by spaces and tabs;
// "-" separates the syllables of a word (also standing alone, and LilyPond's
// "--"), "_" holds the syllable before over one more note (LilyPond's "__"
// standing alone counts once), "*" leaves a note without words, "~" joins
// words sung on one note into one syllable, "|" moves on to the next bar and
// "\" makes the character after it a plain one (at a line's end it is
// dropped). A soft hyphen splits a word as the syllable rules would (the
// notes may overrule it); word joiners are left out. A number such as "1."
// or "2)" opening a line with words after it is a VerseNumber. A line of
// nothing but spaces
// is blank. The marks never reach a syllable's text. Raises
// AlignError for a sheet longer than kLongestSheetBytes (its repeats sung
// out too), without a single syllable or that is not valid UTF-8.
LyricSheet ParseLyricSheet(std::string_view Utf8);

}  // namespace verselane::align
