// The two lyric conversions on made songs, byte for byte: lyric events to a
// Soft Karaoke header and words track, karaoke text to lyric events in keep
// and replace mode, and the karaoke information a song gives about itself.
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

// A words track: its name, the information lines given and the credit line,
// then the words.
Events WordsTrack(const std::vector<std::string>& info, const Events& words) {
    Events out = {Name("Words")};
    for (const std::string& line : info) out.push_back(Text(0, line));
    out.push_back(Text(0, "@TConverted by Verselane " VERSELANE_VERSION));
    out.insert(out.end(), words.begin(), words.end());
    return out;
}

// One made song holds every rule: the first word opens a paragraph, a CR ends
// a line ("/"), an LF or an empty line a paragraph ("\"), a lyric's own mark
// counts as a line end, a line end inside a lyric splits it at its time, a
// lyric of spaces joins the word before, a word opening with "@" stays sung,
// NUL bytes and empty lyrics are nothing, text events are not copied, and the
// end of track comes at the source's end.
TEST(LyricsToKaraoke, MarksGapsTagsAndTheNewTracks) {
    const std::string nul("\0/d\0e", 5);
    const auto [lyrics, words] = std::pair<Events, Events>{
        {Lyric(0, ""),           Lyric(10, "Hel"),         Lyric(20, "lo "),
         Lyric(30, "world\r"),   Text(35, "text"),         Lyric(40, "How"),
         Lyric(50, " "),         Lyric(60, "are\r"),       Lyric(60, "\r"),
         Lyric(70, "@home"),     Lyric(80, "a "),          Lyric(90, "@b"),
         Lyric(100, "c"),        Lyric(110, "@d e\n"),     Lyric(120, "/line"),
         Lyric(130, "\\Verse "), Lyric(140, "one\rtwo\n"), Lyric(150, "a\r\n"),
         Lyric(160, "b \n\r"),   Lyric(170, "c\r"),        NoteOn(175, 60),
         Lyric(180, nul),        EndOfTrack(200)},
        {Text(10, "\\Hel"), Text(20, "lo "), Text(30, "world"), Text(40, "/How "), Text(60, "are"),
         Text(70, "\\@home"), Text(80, "a "), Text(90, " @b"), Text(100, "c@d"), Text(110, " e"),
         Text(120, "\\line"), Text(130, "\\Verse "), Text(140, "one"), Text(140, "/two"),
         Text(150, "\\a"), Text(160, "\\b "), Text(170, "\\c"), Text(180, "\\de"),
         EndOfTrack(200)}};
    // In track 1 of a format 1 song, and as the only track of a format 0 song:
    // track 0 does not move, the song becomes format 1 (a format 0 header over
    // three tracks is invalid).
    for (int16_t format : {1, 0}) {
        SCOPED_TRACE(format);
        MidiFile song = format == 1 ? SongOf({{Name("Conductor"), EndOfTrack(0)}, lyrics})
                                    : SongOf({lyrics}, 0);
        int16_t track = format;
        LyricsToKaraoke(song, track, kInfo);
        EXPECT_EQ(track, format == 1 ? 3 : 0);
        EXPECT_EQ(EventsOf(song, track), lyrics);
        EXPECT_EQ(song.Header.Format, 1);
        EXPECT_EQ(song.Header.NumTracks, format + 3);
        EXPECT_EQ(EventsOf(song, 1),
                  (Events{Name("Soft Karaoke"), Text(0, "@KMIDI KARAOKE FILE"), EndOfTrack(0)}));
        EXPECT_EQ(EventsOf(song, 2), WordsTrack({"@LENGL", "@TSong", "@TSinger"}, words));
    }
}

// The information lines are trimmed and may be empty; format 2 stays; a word
// after the end of track moves the end to it; a second call opens another
// pair behind track 0; a slot without events gives the information lines only.
TEST(LyricsToKaraoke, InformationLinesFormatTwoAndEndOfTrack) {
    MidiFile song = SongOf({{EndOfTrack(99), Lyric(120, "late")}, {EndOfTrack(0)}}, 2);
    int16_t track = 0;
    LyricsToKaraoke(song, track, KaraokeInfo{"  DEUT ", "", " Someone  Else ", "not written"});
    const Events words =
        WordsTrack({"@LDEUT", "@T", "@TSomeone  Else"}, {Text(120, "\\late"), EndOfTrack(120)});
    EXPECT_EQ(EventsOf(song, 2), words);
    EXPECT_EQ(song.Header.Format, 2);
    LyricsToKaraoke(song, track, kInfo);
    EXPECT_EQ(song.Header.NumTracks, 6);
    EXPECT_EQ(EventsOf(song, 4), words);
    track = song.TrackSlots;
    LyricsToKaraoke(song, track, kInfo);
    EXPECT_EQ(EventsOf(song, 2), WordsTrack({"@LENGL", "@TSong", "@TSinger"}, {}));
}

TEST(LyricsToKaraoke, BadIndexOrTooManyWordsRaise) {
    // Track 1: name, 4 information lines, 3 words and an end of track make 9
    // events, and a track has room for 8.
    const MidiFile before =
        SongOf({{EndOfTrack(0)}, {Lyric(0, "a"), Lyric(1, "b"), Lyric(2, "c")}}, 1, 7);
    for (int16_t bad : {-1, 5, 1}) {  // slots 0 to 4 exist
        MidiFile song = before;
        int16_t track = bad;
        ExpectError(ErrorKind::SubscriptOutOfRange, [&] { LyricsToKaraoke(song, track, kInfo); });
        if (bad == 1) continue;  // the words track fills up after the song has changed
        EXPECT_EQ(track, bad);
        EXPECT_EQ(song.Tracks, before.Tracks);
    }
}

// "@T" lines win over the name: the first is the title, the next in its track
// the artist; later ones are credits. The first "@L" line is the language.
TEST(SongKaraokeInfo, TheSongsOwnLinesElseANameThatIsNotGeneric) {
    for (const char* name : {"", " Track 1 ", "untitled", "Sequence #2", "TEMPO TRACK", "Song-3"})
        EXPECT_TRUE(IsGenericTrackName(name)) << name;
    for (const char* name : {"Angel", "Track of my tears", "1999", "Words"})
        EXPECT_FALSE(IsGenericTrackName(name)) << name;
    const std::pair<std::vector<Events>, std::string> cases[] = {
        {{{Name("Angel")}}, "|Angel|"},
        {{{Name("Track 1")}}, "||"},
        {{{Name("Angel")},
          {Text(0, "@LDEUT"), Text(0, "@T Lied "), Text(0, "@TSinger"), Text(0, "@Tby me"),
           Text(0, "@LENGL")}},
         "DEUT|Lied|Singer"},
        {{{Text(0, "@TLied")}, {Text(0, "@TOther")}}, "|Lied|"},
    };
    for (const auto& [tracks, expected] : cases) {
        const KaraokeInfo info = SongKaraokeInfo(SongOf(tracks));
        EXPECT_EQ(info.Language + "|" + info.Title + "|" + info.Artist, expected);
    }
}

// Tags and other events stay; a sung text event becomes a lyric without its
// mark; the mark becomes a line end (LF CR for "\", CR for "/") and spaces
// opening the syllable a gap, both at the end of the lyric before (the first
// sung one gets none), a lyric the song already held not counting; a line
// end inside a syllable is a space.
TEST(KaraokeToLyrics, TextRulesInBothModes) {
    const std::pair<Events, Events> cases[] = {
        {{Name("Words"), Text(0, "@KMIDI KARAOKE FILE"), Text(0, "@LENGL"), NoteOn(5, 60),
          Text(10, "\\Ma"), Text(20, "ry, "), Text(30, "/had"), Text(40, " lit"), Text(50, ""),
          Text(60, "/"), Text(70, "\\tle"), Lyric(75, "x"), Text(80, "/@home"), Text(90, " \r"),
          Text(100, "y\nz"), Meta(110, kMetaCopyright, "(c)"), EndOfTrack(120)},
         {Name("Words"), Text(0, "@KMIDI KARAOKE FILE"), Text(0, "@LENGL"), NoteOn(5, 60),
          Lyric(10, "Ma"), Lyric(20, "ry, \r"), Lyric(30, "had "), Lyric(40, "lit"),
          Lyric(50, "\r"), Lyric(60, "\n\r"), Lyric(70, "tle\r"), Lyric(75, "x"),
          Lyric(80, "@home  "), Lyric(90, ""), Lyric(100, "y z"), Meta(110, kMetaCopyright, "(c)"),
          EndOfTrack(120)}},
        // The lyric at the very start of a track gets the gap, then the break.
        {{Text(0, "a"), Text(10, "\\ b")}, {Lyric(0, "a \n\r"), Lyric(10, "b")}},
    };
    for (const auto& [before, replaced] : cases) {
        // Keep mode: each sung text event followed by the lyric made of it in
        // replace mode.
        Events kept;
        for (size_t i = 0; i < before.size(); ++i) {
            kept.push_back(before[i]);
            if (replaced[i] != before[i]) kept.push_back(replaced[i]);
        }
        const MidiFile made = SongOf({{Name("Conductor"), EndOfTrack(0)}, before, {Name("Piano")}});
        for (bool keep : {false, true}) {
            MidiFile song = made;
            song.InstrumentName[1] = "Voice";
            KaraokeToLyrics(song, 1, 0, keep);
            EXPECT_EQ(EventsOf(song, 1), keep ? kept : replaced);
            // Keep mode empties the slot's names; nothing else changes.
            EXPECT_EQ(song.TrackName[1] + song.InstrumentName[1],
                      keep ? "" : made.TrackName[1] + "Voice");
            EXPECT_EQ(EventsOf(song, 2), EventsOf(made, 2));
            EXPECT_EQ(song.Header, made.Header);
        }
    }
}

TEST(KaraokeToLyrics, EmptySlotsCapacityAndBadIndices) {
    MidiFile spare = SongOf({{Name("Piano"), EndOfTrack(10)}});
    for (bool keep : {false, true}) {
        KaraokeToLyrics(spare, 3, 0, keep);  // the top slot, without an events array
        EXPECT_EQ(spare.EventCount[3], 0);
        for (int16_t bad : {-1, 4})
            ExpectError(ErrorKind::SubscriptOutOfRange,
                        [&] { KaraokeToLyrics(spare, bad, 0, keep); });
    }
    // Four events and three sung text events: seven events, room for six.
    MidiFile song = SongOf({{Name("W"), Text(0, "a"), Text(1, "b"), Text(2, "c")}}, 1, 5);
    const MidiFile before = song;
    ExpectError(ErrorKind::SubscriptOutOfRange, [&] { KaraokeToLyrics(song, 0, 0, true); });
    EXPECT_EQ(song.Tracks, before.Tracks);
    EXPECT_EQ(song.TrackName, before.TrackName);
}

}  // namespace
}  // namespace verselane
