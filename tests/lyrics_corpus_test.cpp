// Real songs converted in both directions: written, checked by an outside
// parser (midicsv), read back, and compared syllable by syllable and line by
// line as a karaoke player shows them.
//
// What may legitimately differ between the lines before and after:
// - spaces: every lyric made from karaoke text ends in a space, and karaoke
//   text made from lyrics loses the spaces around a line end, so lines are
//   compared with their spaces removed;
// - "@" information lines: they are left out of the lines on both sides;
// - paragraphs of lyric events where two line ends fall on one tick: such a
//   pair reads as a paragraph (the converter marks it "\"), while karaoke text
//   shows the "/" that it holds; these lines are compared without the flag;
// - a lyric that begins with a mark of its own right after a line end: the
//   karaoke text holds both marks, and shows the second as text; lyrics made
//   back from it keep that second mark as text (of the corpus, only the junk
//   bytes stored as lyrics in up_around.mid do this).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lyrics/converters.h"
#include "lyrics/sung_lines.h"
#include "lyrics/track_choice.h"
#include "reader/midi_reader.h"
#include "tests/lyrics_fixtures.h"
#include "tests/support/test_support.h"
#include "writer/midi_writer.h"

namespace verselane {
namespace {

namespace fs = std::filesystem;

struct Syllable {
    int32_t Time;
    std::string Text;
    friend bool operator==(const Syllable&, const Syllable&) = default;
};

void PrintTo(const Syllable& s, std::ostream* os) {
    *os << s.Time << ":" << testing::PrintToString(s.Text);
}

std::vector<Syllable> MetaTexts(const MidiFile& song, int track, uint8_t type) {
    std::vector<Syllable> out;
    for (const MidiEvent& e : test::EventsOf(song, track)) {
        if (e.Kind == kKindMeta && e.Channel == type) out.push_back({e.Time, e.Data.str()});
    }
    return out;
}

std::string WithoutSpaces(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c != ' ') out.push_back(c);
    }
    return out;
}

struct Line {
    int32_t Tick;
    std::string Text;  // spaces removed
    bool NewParagraph;
    friend bool operator==(const Line&, const Line&) = default;
};

void PrintTo(const Line& l, std::ostream* os) {
    *os << l.Tick << (l.NewParagraph ? " P " : "   ") << testing::PrintToString(l.Text);
}

std::vector<Line> Comparable(const std::vector<SungLine>& lines) {
    std::vector<Line> out;
    for (const SungLine& l : lines) out.push_back({l.Tick, WithoutSpaces(l.Text), l.NewParagraph});
    return out;
}

// Two sequences must be equal; a failure names the first place they differ
// (songs are long, a dump of both would drown it).
template <typename T>
void ExpectSameSequence(const std::vector<T>& actual, const std::vector<T>& expected) {
    const size_t n = std::min(actual.size(), expected.size());
    for (size_t i = 0; i < n; ++i) {
        if (!(actual[i] == expected[i])) {
            ADD_FAILURE() << "first difference at " << i << ": "
                          << testing::PrintToString(actual[i]) << " instead of "
                          << testing::PrintToString(expected[i]);
            return;
        }
    }
    EXPECT_EQ(actual.size(), expected.size());
}

// Writes the song, checks that midicsv reads the file, and reads it back.
MidiFile WrittenAndReadBack(const MidiFile& song, const fs::path& file) {
    EXPECT_EQ(WriteMidiFile(song, file.string()), "");
    std::string listing;
    EXPECT_EQ(test::RunCommand("midicsv '" + file.string() + "' 2>&1", &listing), 0) << listing;
    std::string message;
    MidiFile back = test::ReadSong(file, &message);
    EXPECT_EQ(message, "");
    return back;
}

std::vector<fs::path> Songs(std::string_view folder) {
    std::vector<fs::path> songs = test::CorpusFiles(folder);
    EXPECT_FALSE(songs.empty()) << folder;
    return songs;
}

// A lyric's text as karaoke text holds it: line ends become spaces, and when
// there was one the spaces around are trimmed.
std::string AsWord(std::string text) {
    if (text.find_first_of("\r\n") == std::string::npos) return text;
    for (char& c : text) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

bool StartsWithMark(std::string_view text) {
    return !text.empty() && (text[0] == '\\' || text[0] == '/');
}

std::string WithoutMark(std::string text) {
    if (StartsWithMark(text)) text.erase(0, 1);
    return text;
}

TEST(LyricsCorpus, KaraokeSongsToLyricsInBothModes) {
    VERSELANE_REQUIRE_CORPUS();
    test::TempDir dir;
    for (const fs::path& path : Songs("kar")) {
        const MidiFile song = test::ReadSong(path);
        const int16_t track = ChooseSourceTrack(song, ConversionDirection::KaraokeToLyrics);
        ASSERT_GE(track, 0) << path;
        const std::vector<Syllable> texts = MetaTexts(song, track, kMetaText);
        const std::vector<Line> lines = Comparable(SungLines(song, track, LineSource::Karaoke));
        ASSERT_FALSE(lines.empty()) << path;
        for (bool keep : {true, false}) {
            SCOPED_TRACE(path.filename().string() + (keep ? " keep" : " replace"));
            MidiFile converted = song;
            KaraokeToLyrics(converted, track, 0, keep);
            const MidiFile back = WrittenAndReadBack(converted, dir.path() / path.filename());

            // Each text event gives one lyric, at its time and in its order
            // (in keep mode right behind it), holding its text without the
            // mark, then a space, then nothing but line-end characters.
            const std::vector<MidiEvent> original = test::EventsOf(song, track);
            const std::vector<MidiEvent> now = test::EventsOf(back, track);
            ASSERT_EQ(now.size(), original.size() + (keep ? texts.size() : 0));
            size_t j = 0;
            for (size_t i = 0; i < original.size(); ++i, ++j) {
                const MidiEvent& e = original[i];
                if (e.Kind != kKindMeta || e.Channel != kMetaText) {
                    EXPECT_EQ(now[j].Kind, e.Kind) << i;
                    EXPECT_EQ(now[j].Time, e.Time) << i;
                    continue;
                }
                if (keep) {
                    EXPECT_EQ(now[j], e) << i;
                    ++j;
                }
                const MidiEvent& lyric = now[j];
                EXPECT_EQ(lyric.Channel, kMetaLyric) << i;
                EXPECT_EQ(lyric.Time, e.Time) << i;
                std::string word = e.Data.str();
                if (!word.empty() && (word[0] == '\\' || word[0] == '/')) word.erase(0, 1);
                const std::string text = lyric.Data.str();
                EXPECT_EQ(text.substr(0, word.size() + 1), word + " ") << i;
                EXPECT_EQ(text.find_first_not_of("\r\n", word.size() + 1), std::string::npos) << i;
            }
            EXPECT_EQ(MetaTexts(back, track, kMetaText), keep ? texts : std::vector<Syllable>{});
            ExpectSameSequence(Comparable(SungLines(back, track, LineSource::Lyrics)), lines);
        }
    }
}

// The words track after its seven information lines.
std::vector<Syllable> Words(const MidiFile& song) {
    std::vector<Syllable> words = MetaTexts(song, 2, kMetaText);
    EXPECT_GE(words.size(), 6u);
    return {words.begin() + std::min<size_t>(6, words.size()), words.end()};
}

// Lines compared across the two sources: where the lyrics had two line ends
// at one tick, karaoke text shows a "/" line and the lyrics a paragraph; the
// flag of such a line is not compared.
void ExpectSameLines(std::vector<Line> lyrics, std::vector<Line> karaoke,
                     const std::vector<SungLine>& lyric_lines) {
    ASSERT_EQ(lyrics.size(), karaoke.size());
    for (size_t i = 1; i < lyrics.size(); ++i) {
        const bool after_blank_at_same_tick =
            lyric_lines[i - 1].Text.empty() && lyrics[i].NewParagraph && !karaoke[i].NewParagraph;
        if (after_blank_at_same_tick) karaoke[i].NewParagraph = true;
    }
    for (size_t i = 0; i < lyrics.size(); ++i) {
        // A lyric that begins with a mark right after a line end: karaoke text
        // shows that mark as text behind its own.
        const std::string& k = karaoke[i].Text;
        if (StartsWithMark(k) && k.substr(1) == lyrics[i].Text) karaoke[i].Text = lyrics[i].Text;
    }
    ExpectSameSequence(karaoke, lyrics);
}

// Whether a lyric begins with a mark of its own right after a lyric that
// ended a line (a song that marks its lines both ways).
bool MarkRightAfterLineEnd(const std::vector<Syllable>& lyrics) {
    for (size_t i = 1; i < lyrics.size(); ++i) {
        if (StartsWithMark(lyrics[i].Text) &&
            lyrics[i - 1].Text.find_first_of("\r\n") != std::string::npos) {
            return true;
        }
    }
    return false;
}

TEST(LyricsCorpus, LyricSongsToKaraokeText) {
    VERSELANE_REQUIRE_CORPUS();
    test::TempDir dir;
    for (const fs::path& path : Songs("lyrics")) {
        SCOPED_TRACE(path.filename().string());
        const MidiFile song = test::ReadSong(path);
        int16_t track = ChooseSourceTrack(song, ConversionDirection::LyricsToKaraoke);
        ASSERT_GE(track, 0);
        const std::vector<Syllable> lyrics = MetaTexts(song, track, kMetaLyric);
        const std::vector<SungLine> lyric_lines = SungLines(song, track, LineSource::Lyrics);

        MidiFile converted = song;
        const int16_t source = track;
        LyricsToKaraoke(converted, track, KaraokeInfo{"ENGL", "YOUR SONG", "ARTIST", ""});
        const MidiFile back = WrittenAndReadBack(converted, dir.path() / path.filename());
        EXPECT_EQ(back.Header.Format, 1);
        EXPECT_EQ(back.Header.NumTracks, song.Header.NumTracks + 2);
        EXPECT_EQ(track, source == 0 ? 0 : source + 2);
        EXPECT_EQ(MetaTexts(back, track, kMetaLyric), lyrics);  // the lyrics stay

        // Every word is a lyric of the source, in order and at its time:
        // its text with the mark taken off, line ends worked out.
        const std::vector<Syllable> words = Words(back);
        size_t k = 0;
        for (const Syllable& word : words) {
            // The word is the lyric, or the lyric behind a mark.
            auto matches = [&](const Syllable& lyric) {
                const std::string text = AsWord(lyric.Text);
                return lyric.Time == word.Time &&
                       (text == word.Text ||
                        (StartsWithMark(word.Text) && text == word.Text.substr(1)));
            };
            while (k < lyrics.size() && !matches(lyrics[k])) ++k;
            ASSERT_LT(k, lyrics.size())
                << "word not found in order: " << word.Time << " " << word.Text;
            ++k;
        }
        EXPECT_GT(words.size(), lyrics.size() / 2);
        ExpectSameLines(Comparable(lyric_lines),
                        Comparable(SungLines(back, 2, LineSource::Karaoke)), lyric_lines);
    }
}

TEST(LyricsCorpus, LyricsToKaraokeAndBackKeepSyllablesTimesAndLines) {
    VERSELANE_REQUIRE_CORPUS();
    int marked_twice = 0;
    for (const fs::path& path : Songs("lyrics")) {
        SCOPED_TRACE(path.filename().string());
        MidiFile song = test::ReadSong(path);
        int16_t track = ChooseSourceTrack(song, ConversionDirection::LyricsToKaraoke);
        const std::vector<SungLine> before = SungLines(song, track, LineSource::Lyrics);
        const std::vector<Syllable> lyrics = MetaTexts(song, track, kMetaLyric);
        // The lyrics that karaoke text can carry: not those of spaces or line
        // ends only. A mark that a lyric begins with becomes a line end.
        std::vector<Syllable> kept;
        for (const Syllable& s : lyrics) {
            if (AsWord(s.Text).find_first_not_of(' ') != std::string::npos) {
                kept.push_back({s.Time, WithoutMark(AsWord(s.Text))});
            }
        }
        LyricsToKaraoke(song, track, KaraokeInfo{"ENGL", "T", "A", ""});
        KaraokeToLyrics(song, 2, 0, false);

        // The seven "@" lines, then the syllables: each with a space added and
        // the line end of the karaoke mark that followed it.
        std::vector<Syllable> after = MetaTexts(song, 2, kMetaLyric);
        ASSERT_GE(after.size(), 6u);
        for (size_t i = 0; i < 6; ++i) EXPECT_EQ(after[i].Text[0], '@') << i;
        after.erase(after.begin(), after.begin() + 6);
        std::vector<Syllable> trimmed;
        for (const Syllable& s : after) {
            std::string text = AsWord(s.Text + "\r");  // the line end decides nothing here
            if (!text.empty()) trimmed.push_back({s.Time, text});
        }
        std::vector<Syllable> expected;
        for (const Syllable& s : kept) expected.push_back({s.Time, AsWord(s.Text + "\r")});
        if (MarkRightAfterLineEnd(lyrics)) {
            // Karaoke text holds two marks there and the second comes back
            // as text (see the top of this file): times and count only.
            ASSERT_EQ(trimmed.size(), expected.size());
            for (size_t i = 0; i < trimmed.size(); ++i)
                EXPECT_EQ(trimmed[i].Time, expected[i].Time);
            ++marked_twice;
            continue;
        }
        ExpectSameSequence(trimmed, expected);
        ExpectSameSequence(Comparable(SungLines(song, 2, LineSource::Lyrics)), Comparable(before));
    }
    EXPECT_LE(marked_twice, 1);
}

// The words of karaoke text with something to see: marks taken off, entries
// of spaces and line ends only left out (the round trip turns those into
// marks), "@" lines left out.
std::vector<Syllable> VisibleWords(const std::vector<Syllable>& texts) {
    std::vector<Syllable> out;
    for (const Syllable& s : texts) {
        std::string word = AsWord(WithoutMark(s.Text) + "\r");
        if (word.empty() || word[0] == '@') continue;
        out.push_back({s.Time, word});
    }
    return out;
}

TEST(LyricsCorpus, KaraokeToLyricsAndBackKeepWordsAndLines) {
    VERSELANE_REQUIRE_CORPUS();
    for (const fs::path& path : Songs("kar")) {
        SCOPED_TRACE(path.filename().string());
        MidiFile song = test::ReadSong(path);
        int16_t track = ChooseSourceTrack(song, ConversionDirection::KaraokeToLyrics);
        const std::vector<Syllable> before = VisibleWords(MetaTexts(song, track, kMetaText));
        const std::vector<Line> lines = Comparable(SungLines(song, track, LineSource::Karaoke));
        KaraokeToLyrics(song, track, 0, false);
        LyricsToKaraoke(song, track, KaraokeInfo{"ENGL", "T", "A", ""});

        // The "@" lines came back as lyrics and so as words of the words track,
        // behind a mark: left out like the others.
        std::vector<Syllable> words = Words(song);
        for (Syllable& w : words) w.Text = WithoutMark(w.Text);
        ExpectSameSequence(VisibleWords(words), before);

        // The same lines. A "/" line may come back as a paragraph: its line end
        // and the one before lay at one tick, which lyrics read as a paragraph.
        std::vector<Line> after = Comparable(SungLines(song, 2, LineSource::Karaoke));
        ASSERT_EQ(after.size(), lines.size());
        int gained = 0;
        for (size_t i = 0; i < after.size(); ++i) {
            EXPECT_EQ(after[i].Tick, lines[i].Tick) << i;
            EXPECT_EQ(after[i].Text, lines[i].Text) << i;
            EXPECT_TRUE(after[i].NewParagraph || !lines[i].NewParagraph) << "lost paragraph " << i;
            gained += after[i].NewParagraph && !lines[i].NewParagraph;
        }
        EXPECT_LE(gained, static_cast<int>(lines.size()) / 10);
    }
}

}  // namespace
}  // namespace verselane
