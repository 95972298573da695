// Lyric events to Soft Karaoke text: the header and words tracks, the marks
// worked out from line ends, and the caller's source index.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lyrics/converters.h"
#include "tests/lyrics_fixtures.h"
#include "tests/support/test_support.h"

namespace verselane {
namespace {

using test::EndOfTrack;
using test::EventsOf;
using test::Lyric;
using test::Meta;
using test::Name;
using test::SongOf;
using test::Text;

const KaraokeInfo kInfo{"ENGL", "YOUR SONG", "ARTIST", ""};

// The seven information lines that open every words track.
std::vector<MidiEvent> InfoLines(const std::string& language = "ENGL",
                                 const std::string& title = "YOUR SONG",
                                 const std::string& artist = "ARTIST") {
    return {Name("Words"),
            Text(0, "@L" + language),
            Text(0, "@T" + title),
            Text(0, "@T" + artist),
            Text(0, "@TLyrics converted automaticly from lyric events"),
            Text(0, "@TBy: Cantorel (Alpha Version)"),
            Text(0, "@TConverted by Verselane, the MIDI lyrics converter")};
}

std::vector<MidiEvent> WordsAfterInfo(const MidiFile& song) {
    std::vector<MidiEvent> events = EventsOf(song, 2);
    EXPECT_GE(events.size(), 7u);
    return {events.begin() + std::min<size_t>(7, events.size()), events.end()};
}

// A conductor track and the lyrics in track 1.
MidiFile LyricSong(std::vector<MidiEvent> lyrics) {
    return SongOf({{Name("Conductor"), test::Tempo(0, 500000), EndOfTrack(0)}, lyrics});
}

TEST(LyricsToKaraoke, WorkedExampleComesOutEventForEvent) {
    MidiFile song = LyricSong({
        Lyric(480, "Hel"),
        Lyric(600, "lo "),
        Lyric(720, "world\r"),
        Lyric(960, "How "),
        Lyric(1080, "are "),
        Lyric(1200, "you\r"),
        Lyric(1200, "\r"),
        Lyric(1440, "Next"),
        EndOfTrack(1920),
    });
    const std::vector<MidiEvent> source = EventsOf(song, 1);
    int16_t track = 1;
    LyricsToKaraoke(song, track, kInfo);

    EXPECT_EQ(track, 3);
    EXPECT_EQ(song.Header.NumTracks, 4);
    EXPECT_EQ(song.TrackSlots, 6);
    EXPECT_EQ(EventsOf(song, 1),
              (std::vector<MidiEvent>{Name("Soft Karaoke"), Text(0, "@KMIDI KARAOKE FILE"),
                                      Meta(0, kMetaEndOfTrack)}));
    std::vector<MidiEvent> expected = InfoLines();
    for (const MidiEvent& e : {Text(480, "\\Hel"), Text(600, "lo "), Text(720, "world"),
                               Text(960, "/How "), Text(1080, "are "), Text(1200, "you"),
                               Text(1200, "/"), Text(1440, "\\Next"), EndOfTrack(1920)}) {
        expected.push_back(e);
    }
    EXPECT_EQ(EventsOf(song, 2), expected);
    // The lyrics stay where they were, now two places higher.
    EXPECT_EQ(EventsOf(song, 3), source);
    EXPECT_EQ(song.Header.Format, 1);
}

struct MarkCase {
    const char* what;
    std::vector<MidiEvent> lyrics;
    std::vector<MidiEvent> words;  // what follows the information lines
};

TEST(LyricsToKaraoke, MarksSpacesAndDroppedLyrics) {
    const std::vector<MarkCase> cases = {
        {"no lyrics: the information lines and the end of track",
         {Text(5, "@Kforeign text"), test::NoteOn(10, 60), EndOfTrack(99)},
         {EndOfTrack(99)}},
        {"an empty first lyric is the paragraph mark alone",
         {Lyric(0, ""), Lyric(10, "a")},
         {Text(0, "\\"), Text(10, "a")}},
        {"a last line end leaves a mark that is never written",
         {Lyric(0, "end\r")},
         {Text(0, "\\end")}},
        {"a CR inside a lyric becomes a space; the mark goes to the next lyric",
         {Lyric(5, "one\rtwo"), Lyric(100, "three")},
         {Text(5, "\\one two"), Text(100, "/three")}},
        {"a line end alone after a word without one is dropped but sets the mark",
         {Lyric(0, "word"), Lyric(50, "\r"), Lyric(100, "next")},
         {Text(0, "\\word"), Text(100, "/next")}},
        {"spaces alone are dropped without a mark and kept behind one",
         {Lyric(5, "a\r"), Lyric(10, "  "), Lyric(20, "b "), Lyric(30, "   "), Lyric(40, "c")},
         {Text(5, "\\a"), Text(10, "/  "), Text(20, "b "), Text(40, "c")}},
        {"texts without a line end keep their spaces; with one they are trimmed",
         {Lyric(0, " lead "), Lyric(10, "  trail \r"), Lyric(20, "x")},
         {Text(0, "\\ lead "), Text(10, "trail"), Text(20, "/x")}},
        {"two line ends at one tick open a paragraph",
         {Lyric(0, "a"), Lyric(100, "b\r"), Lyric(100, "c\r"), Lyric(200, "d")},
         {Text(0, "\\a"), Text(100, "b"), Text(100, "/c"), Text(200, "\\d")}},
        {"a first line end at tick 0 opens a paragraph",
         {Lyric(0, "Title\r"), Lyric(100, "words")},
         {Text(0, "\\Title"), Text(100, "\\words")}},
        {"every end-of-track event is copied, the loop runs on",
         {Lyric(0, "a"), EndOfTrack(50), Lyric(60, "b")},
         {Text(0, "\\a"), EndOfTrack(50), Text(60, "b")}},
        // A line feed ends a line as a carriage return does, and opens a
        // paragraph: the karaoke text that lyrics came from keeps its "\".
        {"a line feed ends a line and opens a paragraph",
         {Lyric(0, "a\n"), Lyric(100, "b")},
         {Text(0, "\\a"), Text(100, "\\b")}},
        {"CR LF after a word: the word alone, then a paragraph",
         {Lyric(0, "x"), Lyric(10, "word\r\n"), Lyric(100, "next")},
         {Text(0, "\\x"), Text(10, "word"), Text(100, "\\next")}},
        {"LF CR as the reverse conversion writes it",
         {Lyric(0, "x"), Lyric(10, "Ma \n\r"), Lyric(100, "ry ")},
         {Text(0, "\\x"), Text(10, "Ma"), Text(100, "\\ry ")}},
        {"every CR and LF of a lyric leaves the text",
         {Lyric(0, "one\rtwo\rthree\r\n"), Lyric(100, "four")},
         {Text(0, "\\one two three"), Text(100, "\\four")}},
        {"a line feed alone after a word without line end",
         {Lyric(0, "x"), Lyric(10, "\n"), Lyric(100, "y")},
         {Text(0, "\\x"), Text(100, "\\y")}},
    };
    for (const MarkCase& c : cases) {
        SCOPED_TRACE(c.what);
        MidiFile song = LyricSong(c.lyrics);
        int16_t track = 1;
        LyricsToKaraoke(song, track, kInfo);
        EXPECT_EQ(WordsAfterInfo(song), c.words);
        EXPECT_EQ(EventsOf(song, 3), c.lyrics);
    }
}

TEST(LyricsToKaraoke, InformationLinesAreTrimmedAndMayBeEmpty) {
    MidiFile song = LyricSong({Lyric(0, "la")});
    int16_t track = 1;
    LyricsToKaraoke(song, track, KaraokeInfo{"  DEUT ", "", " Someone  Else ", "not written"});
    std::vector<MidiEvent> events = EventsOf(song, 2);
    events.resize(7);
    EXPECT_EQ(events, InfoLines("DEUT", "", "Someone  Else"));
}

TEST(LyricsToKaraoke, ContactLineIsOneLineWithoutAnEmailAddress) {
    MidiFile song = LyricSong({});
    int16_t track = 1;
    LyricsToKaraoke(song, track, kInfo);
    const std::string contact = song.Tracks[2].Event(6).Data.str();
    ASSERT_EQ(contact.rfind("@T", 0), 0u);
    EXPECT_GT(contact.size(), 2u);
    EXPECT_EQ(contact.find('@', 1), std::string::npos);
    EXPECT_EQ(contact.find_first_of("\r\n"), std::string::npos);
}

TEST(LyricsToKaraoke, AnEmptySourceSlotGivesTheInformationLinesOnly) {
    MidiFile song = LyricSong({});
    int16_t track = 3;  // the top spare slot: no events at all
    LyricsToKaraoke(song, track, kInfo);
    EXPECT_EQ(track, 5);
    EXPECT_EQ(EventsOf(song, 2), InfoLines());
}

// A format 0 song keeps its lyrics in track 0. Track 0 does not move when the
// pair opens behind it, so it is converted and the index stays 0; the song
// becomes format 1, since a format 0 header over three tracks is invalid.
TEST(LyricsToKaraoke, TrackZeroOfAFormatZeroSongIsConverted) {
    MidiFile song = SongOf({{test::Tempo(0, 400000), Lyric(10, "Sing\r"), test::NoteOn(10, 60),
                             Lyric(20, "on"), EndOfTrack(30)}},
                           0);
    const std::vector<MidiEvent> source = EventsOf(song, 0);
    int16_t track = 0;
    LyricsToKaraoke(song, track, kInfo);
    EXPECT_EQ(track, 0);
    EXPECT_EQ(song.Header.Format, 1);
    EXPECT_EQ(song.Header.NumTracks, 3);
    EXPECT_EQ(EventsOf(song, 0), source);
    EXPECT_EQ(WordsAfterInfo(song),
              (std::vector<MidiEvent>{Text(10, "\\Sing"), Text(20, "/on"), EndOfTrack(30)}));
}

TEST(LyricsToKaraoke, FormatTwoStaysFormatTwo) {
    MidiFile song = SongOf({{Lyric(0, "a")}, {EndOfTrack(0)}}, 2);
    int16_t track = 0;
    LyricsToKaraoke(song, track, kInfo);
    EXPECT_EQ(song.Header.Format, 2);
}

TEST(LyricsToKaraoke, ASecondCallInsertsAnotherPair) {
    MidiFile song = LyricSong({Lyric(0, "a")});
    int16_t track = 1;
    LyricsToKaraoke(song, track, kInfo);
    LyricsToKaraoke(song, track, kInfo);
    EXPECT_EQ(track, 5);
    EXPECT_EQ(song.Header.NumTracks, 6);
    // The first pair moved up behind the second.
    EXPECT_EQ(EventsOf(song, 3), EventsOf(song, 1));
    EXPECT_EQ(EventsOf(song, 4), EventsOf(song, 2));
}

TEST(LyricsToKaraoke, ABadSourceIndexRaisesBeforeTheSongChanges) {
    const MidiFile before = LyricSong({Lyric(0, "a")});
    for (int16_t bad : {int16_t{-1}, int16_t{5}}) {  // slots 0 to 4 exist
        MidiFile song = before;
        int16_t track = bad;
        test::ExpectError(ErrorKind::SubscriptOutOfRange,
                          [&] { LyricsToKaraoke(song, track, kInfo); });
        EXPECT_EQ(track, bad);
        EXPECT_EQ(song.Header, before.Header);
        EXPECT_EQ(song.Tracks, before.Tracks);
    }
}

TEST(LyricsToKaraoke, MoreWordsThanTheTrackHoldsRaise) {
    // 7 information lines and 3 words do not fit into 9 events.
    MidiFile song = SongOf({{EndOfTrack(0)}, {Lyric(0, "a"), Lyric(1, "b"), Lyric(2, "c")}}, 1, 8);
    int16_t track = 1;
    test::ExpectError(ErrorKind::SubscriptOutOfRange, [&] { LyricsToKaraoke(song, track, kInfo); });
}

}  // namespace
}  // namespace verselane
