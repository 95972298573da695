// Lyric events to Soft Karaoke text: the header and words tracks, the marks
// worked out from line ends, gaps and tags, and the caller's source index.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "lyrics/converters.h"
#include "lyrics/song_info.h"
#include "tests/support/lyrics_fixtures.h"

namespace verselane {
namespace {

using namespace test;
using Events = std::vector<MidiEvent>;

const KaraokeInfo kInfo{"ENGL", "Song", "Singer", ""};

// The name and the four information lines that open every words track.
Events InfoLines(const std::string& language = "ENGL", const std::string& title = "Song",
                 const std::string& artist = "Singer") {
    return {Name("Words"), Text(0, "@L" + language), Text(0, "@T" + title), Text(0, "@T" + artist),
            Text(0, "@TConverted by Verselane " VERSELANE_VERSION)};
}

// A conductor track and the lyrics in track 1.
MidiFile LyricSong(const Events& lyrics) {
    return SongOf({{Name("Conductor"), Tempo(0, 500000), EndOfTrack(0)}, lyrics});
}

struct WordCase {
    const char* what;
    Events lyrics;
    Events words;        // what follows the information lines
    int16_t format = 1;  // format 0: the lyrics are the song's only track
};

TEST(LyricsToKaraoke, WordsMarksGapsAndTags) {
    const std::vector<WordCase> cases = {
        {"line ends become marks; an empty line makes a paragraph",
         {Lyric(480, "Hel"), Lyric(600, "lo "), Lyric(720, "world\r"), Lyric(960, "How "),
          Lyric(1080, "are "), Lyric(1200, "you\r"), Lyric(1200, "\r"), Lyric(1440, "Next"),
          EndOfTrack(1920)},
         {Text(480, "\\Hel"), Text(600, "lo "), Text(720, "world"), Text(960, "/How "),
          Text(1080, "are "), Text(1200, "you"), Text(1440, "\\Next"), EndOfTrack(1920)}},
        {"a lyric of spaces alone keeps its gap on the word before",
         {Lyric(0, "Yeu"), Lyric(10, " "), Lyric(20, "em"), Lyric(30, "  "), Lyric(40, "\r"),
          Lyric(50, " "), Lyric(60, "x")},
         {Text(0, "\\Yeu "), Text(20, "em  "), Text(60, "/x"), EndOfTrack(60)}},
        {"a word opening with \"@\" stays sung",
         {Lyric(0, "@home"), Lyric(10, "a "), Lyric(20, "@b"), Lyric(30, "c"), Lyric(40, "@d e")},
         {Text(0, "\\@home"), Text(10, "a "), Text(20, " @b"), Text(30, "c@d"), Text(40, " e"),
          EndOfTrack(40)}},
        {"a lyric's own leading mark is read as a mark",
         {Lyric(0, "\\Verse"), Lyric(10, "/line"), Lyric(20, " end")},
         {Text(0, "\\Verse"), Text(10, "/line"), Text(20, " end"), EndOfTrack(20)}},
        {"a line end inside a lyric splits it at its time",
         {Lyric(5, "one\rtwo"), Lyric(100, "three")},
         {Text(5, "\\one"), Text(5, "/two"), Text(100, "three"), EndOfTrack(100)}},
        {"a line feed, CR LF and LF CR open paragraphs",
         {Lyric(0, "a\n"), Lyric(10, "b\r\n"), Lyric(20, "c \n\r"), Lyric(30, "d\r"),
          Lyric(40, "e")},
         {Text(0, "\\a"), Text(10, "\\b"), Text(20, "\\c "), Text(30, "\\d"), Text(40, "/e"),
          EndOfTrack(40)}},
        {"NUL bytes are nothing, empty lyrics are dropped",
         {Lyric(0, ""), Lyric(5, "a"), Lyric(10, std::string("\0/b\0c", 5))},
         {Text(5, "\\a"), Text(10, "/bc"), EndOfTrack(10)}},
        {"one end of track closes the words, at the later of its time and the last word",
         {Lyric(0, "a"), EndOfTrack(50), Lyric(60, "b"), EndOfTrack(55)},
         {Text(0, "\\a"), Text(60, "b"), EndOfTrack(60)}},
        {"no lyrics: the end of track only; text events are not copied",
         {Text(5, "@Kforeign text"), NoteOn(10, 60), EndOfTrack(99)},
         {EndOfTrack(99)}},
        // Track 0 does not move when the pair opens behind it; the song
        // becomes format 1, as a format 0 header over three tracks is invalid.
        {"a format 0 song converts track 0",
         {Tempo(0, 400000), Lyric(10, "Sing\r"), NoteOn(10, 60), Lyric(20, "on"), EndOfTrack(30)},
         {Text(10, "\\Sing"), Text(20, "/on"), EndOfTrack(30)},
         0},
    };
    for (const WordCase& c : cases) {
        SCOPED_TRACE(c.what);
        MidiFile song = c.format == 0 ? SongOf({c.lyrics}, 0) : LyricSong(c.lyrics);
        const int16_t moved = c.format == 0 ? 0 : 3;  // the lyrics stay, two places higher
        int16_t track = c.format == 0 ? 0 : 1;
        LyricsToKaraoke(song, track, kInfo);
        EXPECT_EQ(track, moved);
        EXPECT_EQ(song.Header.Format, 1);
        Events words = InfoLines();
        words.insert(words.end(), c.words.begin(), c.words.end());
        EXPECT_EQ(EventsOf(song, 2), words);
        EXPECT_EQ(EventsOf(song, moved), c.lyrics);
        EXPECT_EQ(EventsOf(song, 1),
                  (Events{Name("Soft Karaoke"), Text(0, "@KMIDI KARAOKE FILE"), EndOfTrack(0)}));
        EXPECT_EQ(song.Header.NumTracks, c.format == 0 ? 3 : 4);
    }
}

// The information lines are trimmed and may be empty; format 2 stays; a
// second call inserts another pair and the first moves up behind it.
TEST(LyricsToKaraoke, InformationLinesAndFormatTwo) {
    MidiFile song = LyricSong({});
    int16_t track = 3;  // the top spare slot: no events at all
    LyricsToKaraoke(song, track, KaraokeInfo{"  DEUT ", "", " Someone  Else ", "not written"});
    EXPECT_EQ(track, 5);
    EXPECT_EQ(EventsOf(song, 2), InfoLines("DEUT", "", "Someone  Else"));
    track = 0;
    MidiFile f2 = SongOf({{Lyric(0, "a")}, {EndOfTrack(0)}}, 2);
    LyricsToKaraoke(f2, track, kInfo);
    EXPECT_EQ(f2.Header.Format, 2);
    LyricsToKaraoke(f2, track, kInfo);
    EXPECT_EQ(f2.Header.NumTracks, 6);
    EXPECT_EQ(EventsOf(f2, 4), EventsOf(f2, 2));
}

TEST(LyricsToKaraoke, BadIndexOrTooManyWordsRaise) {
    const MidiFile before = LyricSong({Lyric(0, "a")});
    for (int16_t bad : {int16_t{-1}, int16_t{5}}) {  // slots 0 to 4 exist
        MidiFile song = before;
        int16_t track = bad;
        ExpectError(ErrorKind::SubscriptOutOfRange, [&] { LyricsToKaraoke(song, track, kInfo); });
        EXPECT_EQ(track, bad);
        EXPECT_EQ(song.Tracks, before.Tracks);
    }
    // Name, 4 information lines, 3 words and an end of track: 9 events, room for 8.
    MidiFile song = SongOf({{EndOfTrack(0)}, {Lyric(0, "a"), Lyric(1, "b"), Lyric(2, "c")}}, 1, 7);
    int16_t track = 1;
    ExpectError(ErrorKind::SubscriptOutOfRange, [&] { LyricsToKaraoke(song, track, kInfo); });
}

TEST(SongKaraokeInfo, GenericNamesAndTheSongsOwnTitleLines) {
    for (const char* name : {"", " Track 1 ", "untitled", "Sequence #2", "TEMPO TRACK", "Song-3"})
        EXPECT_TRUE(IsGenericTrackName(name)) << name;
    for (const char* name : {"Angel", "Track of my tears", "1999", "Words"})
        EXPECT_FALSE(IsGenericTrackName(name)) << name;
    // "@T" lines win over the name: the first is the title, the next in its
    // track the artist; later ones are credits.
    const std::pair<std::vector<Events>, std::string> cases[] = {
        {{{Name("Angel")}}, "|Angel|"},
        {{{Name("Track 1")}}, "||"},
        {{{Name("Angel")},
          {Text(0, "@LDEUT"), Text(0, "@T Lied "), Text(0, "@TSinger"), Text(0, "@Tby me")}},
         "DEUT|Lied|Singer"},
        {{{Text(0, "@TLied")}, {Text(0, "@TOther")}}, "|Lied|"},
    };
    for (const auto& [tracks, expected] : cases) {
        const KaraokeInfo info = SongKaraokeInfo(SongOf(tracks));
        EXPECT_EQ(info.Language + "|" + info.Title + "|" + info.Artist, expected);
    }
}

}  // namespace
}  // namespace verselane
