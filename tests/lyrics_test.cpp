// The lyrics folder on made songs: which track holds the words, the two
// conversions byte for byte (lyric events to a
// Soft Karaoke header and words track, karaoke text to lyric events in keep
// and replace mode), the karaoke information a song gives about itself, and
// the words as a karaoke player shows them.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "lyrics/converters.h"
#include "lyrics/song_info.h"
#include "lyrics/sung_lines.h"
#include "lyrics/track_choice.h"
#include "tests/support/lyrics_fixtures.h"

namespace verselane {
namespace {

using namespace test;
using Events = TrackEvents;
using Tracks = std::vector<Events>;

// Names are searched case-sensitively in the real tracks only, track 0
// included; one name may feed several guesses and the last match wins. The
// choice is the first guess (lyrics, words, vocal) holding material for the
// direction (HoldsMaterial), at least half as much as the track with the
// most, else the track with the most (the lowest on a tie), else -1.
TEST(TrackChoice, NameGuessesAndTheSourceOfEachDirection) {
    // The guesses lyrics, words, vocal, Source(), then the choices to karaoke and to lyrics.
    const std::pair<std::string, std::vector<int>> cases[] = {
        {"|Piano|Vocal=L|Lyrics=TT", {3, -1, 2, 3, 2, 3}},
        {"|Melody=LL|Words=L", {-1, 2, -1, 2, 2, -1}},
        {"=T|Voice=L|Melody=TT", {-1, -1, 1, 1, 1, 2}},
        {"|Piano=L|Bass=L", {-1, -1, -1, -1, 1, -1}},
        {"Lyrics=LTT", {0, -1, -1, 0, 0, 0}},
        {"LYRICS|Vocals|Chords", {-1, 2, 1, 2, -1, -1}},
        {"|Lyrics|Lyrics 2=TT", {2, -1, -1, 2, -1, 2}},
        {"|Soft Karaoke=T|Words=TT", {-1, 2, -1, 2, -1, 2}},
        {"Vocal=LL|Words=L|Lyrics=TT", {2, 1, 0, 2, 1, 2}},
        // A named track holding a few texts ("%-" "%+") beside the words: the
        // words; half as many as the most is enough.
        {"|Words=TTTTT|Vocals=T", {-1, 2, 2, 2, -1, 1}},
        {"|Words=TT|Melody=TTTT", {-1, 1, -1, 1, -1, 1}},
        // Credits and notes are not karaoke text: a song of a credit alone
        // has no words, a credit beside lyrics is not a source of lyrics;
        // in a song with a "@K" line every text is karaoke text.
        {"=C", {-1, -1, -1, -1, -1, -1}},
        {"Song=C|Piano=L", {-1, -1, -1, -1, 1, -1}},
        // Two marked lines make karaoke text among 40 texts, not among 41;
        // one mark alone ("/Coda", "/ Arranged by") makes none.
        {"|Lyrics=" + std::string(38, 'C') + "TT", {1, -1, -1, 1, -1, 1}},
        {"|Lyrics=" + std::string(39, 'C') + "TT", {1, -1, -1, 1, -1, -1}},
        {"|Lyrics=CT", {1, -1, -1, 1, -1, -1}},
        {"|Soft Karaoke=K|Piano=CC", {-1, -1, -1, -1, -1, 2}},
        // "@" lines alone are tags: a header with no words track holds none.
        {"|Soft Karaoke=K", {-1, -1, -1, -1, -1, -1}},
    };
    for (const auto& [layout, expected] : cases) {
        const Song made = LaidOutSong(layout).song;
        const TrackNameGuesses g = GuessWordsTracks(made);
        EXPECT_EQ(std::vector<int>({g.Lyrics, g.Words, g.Vocal, g.Source(),
                                    ChooseSourceTrack(made, ConversionDirection::LyricsToKaraoke),
                                    ChooseSourceTrack(made, ConversionDirection::KaraokeToLyrics)}),
                  expected)
            << layout;
    }
}

const KaraokeInfo kInfo{"ENGL", "Song", "Singer", ""};

// A words track: its name, the information lines given (those of kInfo if
// none) and the credit line, then the words.
Events WordsTrack(const Events& words,
                  const std::vector<std::string>& info = {"@LENGL", "@TSong", "@TSinger"}) {
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
    const Events conductor = {Name("Conductor"), EndOfTrack(0)};
    const Events header = {Name("Soft Karaoke"), Text(0, "@KMIDI KARAOKE FILE"), EndOfTrack(0)};
    // Without KeepLyrics the source track keeps all but its lyric events.
    const Events unsung = {Text(35, "text"), NoteOn(175, 60), EndOfTrack(200)};
    // In track 1 of a format 1 song, and as the only track of a format 0 song:
    // track 0 does not move, the song becomes format 1 (a format 0 header over
    // three tracks is invalid).
    for (const auto& [format, keep] : {std::pair<int16_t, bool>{1, true}, {0, true}, {1, false}}) {
        SCOPED_TRACE(std::to_string(format) + (keep ? " keeping lyrics" : " dropping lyrics"));
        Song song = format == 1 ? BuildSong({conductor, lyrics}) : BuildSong({lyrics}, 0);
        int16_t track = format;
        LyricsToKaraoke(song, track, kInfo, keep);
        const Events& source = keep ? lyrics : unsung;
        EXPECT_EQ(TracksOf(song),
                  (format == 1 ? Tracks{conductor, header, WordsTrack(words), source}
                               : Tracks{source, header, WordsTrack(words)}));
        EXPECT_EQ(std::tuple(track, song.Format, song.Tracks[1].Name, song.Tracks[2].Name),
                  std::tuple(format == 1 ? 3 : 0, 1, "Soft Karaoke", "Words"));
    }
}

// The information lines are trimmed and may be empty; format 2 stays; a word
// after the end of track moves the end to it; a second call opens another
// pair behind track 0; without lyrics the words track ends with the source,
// and from a track without events it holds the information lines alone.
TEST(LyricsToKaraoke, InformationLinesFormatTwoAndEndOfTrack) {
    Song song =
        BuildSong({{EndOfTrack(99), Lyric(120, "late")}, {Text(5, "x"), EndOfTrack(77)}}, 2);
    int16_t track = 0;
    LyricsToKaraoke(song, track, KaraokeInfo{"  DEUT ", "", " Someone  Else ", "not written"});
    const Events words =
        WordsTrack({Text(120, "\\late"), EndOfTrack(120)}, {"@LDEUT", "@T", "@TSomeone  Else"});
    EXPECT_EQ(EventsOf(song, 2), words);
    EXPECT_EQ(song.Format, 2);
    LyricsToKaraoke(song, track, kInfo);
    EXPECT_EQ(song.TrackCount(), 6);
    EXPECT_EQ(EventsOf(song, 4), words);
    track = 5;  // the song's track 1, moved up twice
    LyricsToKaraoke(song, track, kInfo);
    EXPECT_EQ(EventsOf(song, 2), WordsTrack({EndOfTrack(77)}));
    song.Tracks.emplace_back();
    track = static_cast<int16_t>(song.TrackCount() - 1);
    LyricsToKaraoke(song, track, kInfo);
    EXPECT_EQ(EventsOf(song, 2), WordsTrack({}));

    // A line longer than a screen (160 characters) breaks into rows of about
    // 40 where a word starts (after a gap, or at one opening the word: then
    // dropped), never inside one; the next line, shorter than a screen but
    // longer than a row, stays whole. A line of a whole screen (the first 40
    // lyrics) stays whole as well.
    const char* const twinkle[] = {"Twin", "kle ", "lit", "tle", " star "};
    Events lyrics;  // "Twinkle little star " 12 times, a line end after the 9th
    for (int32_t i = 0; i < 60; ++i)
        lyrics.push_back(Lyric(10 * i, twinkle[i % 5] + std::string(i == 44 ? "\r" : "")));
    const std::string t = "Twin|kle |lit|tle|", w = t + " star |", pair = w + t + "/star |";
    const std::pair<int, std::string> lines[] = {
        {60, "\\" + pair + pair + pair + pair + t + " star |/" + w + w + w},
        {40, "\\" + w + w + w + w + w + w + w + w}};
    for (const auto& [count, expected] : lines) {
        song = BuildSong({Events(lyrics.begin(), lyrics.begin() + count)}, 0);
        track = 0;
        LyricsToKaraoke(song, track, kInfo);
        std::string rows;  // the sung texts of the words track, "|" behind each
        for (const EventAndBody& e : EventsOf(song, 2))
            if (e.Record.IsText() && !e.Body.starts_with('@')) rows += e.Body + "|";
        EXPECT_EQ(rows, expected) << count;
    }
}

// "@T" lines win over the name: the first is the title, the next in its track
// the artist; later ones are credits. The first "@L" line is the language.
TEST(SongKaraokeInfo, TheSongsOwnLinesElseANameThatIsNotGeneric) {
    for (std::string_view name : {"", " Track 1 ", "untitled", "Sequence #2", "TEMPO TRACK",
                                  "Song-3", "+Angel", "+Track of my tears", "+1999", "+Words"})
        EXPECT_NE(IsGenericTrackName(std::string(name.substr(name.starts_with('+')))),
                  name.starts_with('+'))
            << name;
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
        const KaraokeInfo info = SongKaraokeInfo(BuildSong(tracks));
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
        Song made = BuildSong({{Name("Conductor"), EndOfTrack(0)}, before, {Name("Piano")}});
        made.Tracks[1].Instrument = "Voice";
        for (bool keep : {false, true}) {
            Song song = made;
            KaraokeToLyrics(song, 1, keep);
            // Keep mode empties the track's names; nothing else changes.
            EXPECT_EQ(TracksOf(song),
                      (Tracks{EventsOf(made, 0), keep ? kept : replaced, EventsOf(made, 2)}));
            EXPECT_EQ(song.Tracks[1].Name + song.Tracks[1].Instrument,
                      keep ? "" : made.Tracks[1].Name + "Voice");
            EXPECT_EQ(std::tie(song.Format, song.Division, song.HeaderLength),
                      std::tie(made.Format, made.Division, made.HeaderLength));
        }
    }
}

// A bad index raises before the song changes, and so does a song without
// room for two more tracks.
TEST(Converters, BadIndicesAndFullSongsRaise) {
    const Song before = BuildSong({{EndOfTrack(0)}, {Lyric(0, "a"), Text(3, "/x")}});
    // Way 0 is lyrics to karaoke, 1 and 2 karaoke to lyrics keeping and replacing.
    for (int way : {0, 1, 2})
        for (int16_t bad : {-1, 2}) {
            Song song = before;
            ExpectError(ErrorKind::SubscriptOutOfRange, [&] {
                way ? KaraokeToLyrics(song, bad, way == 1) : LyricsToKaraoke(song, bad, kInfo);
            });
            EXPECT_EQ(TracksOf(song), TracksOf(before)) << way << bad;
        }
    // 32766 tracks: no room for the pair, the song and the source index stay.
    Song full = before;
    full.Tracks.resize(32766);
    int16_t source = 1;
    ExpectError(ErrorKind::Overflow, [&] { LyricsToKaraoke(full, source, kInfo); });
    EXPECT_EQ(std::pair(full.TrackCount(), source), (std::pair<int16_t, int16_t>(32766, 1)));
    full.Tracks.pop_back();  // 32765: the pair fits, the source moves behind it
    LyricsToKaraoke(full, source, kInfo);
    EXPECT_EQ(std::pair(full.TrackCount(), source), (std::pair<int16_t, int16_t>(32767, 3)));
}

// (Format 2 songs: playback_test; division 0 and SMPTE: model_test.)
TEST(TempoMap, FollowsEveryTempoChangeDivisionAndTrack) {
    // Division 480. 120 bpm until tick 960 (1 s), then 60 bpm: a quarter note
    // lasts 1 s. A change in another track counts as well (sorted by tick).
    Song song = BuildSong({{Tempo(960, 1000000), EndOfTrack(960)},
                           {Name("Words"), Tempo(2880, 250000), EndOfTrack(3000)}});
    for (auto [tick, seconds] :
         {std::pair{0, 0.0}, {480, 0.5}, {960, 1.0}, {1440, 2.0}, {2880, 5.0}, {3360, 5.25}})
        EXPECT_NEAR(TempoMap(song).Seconds(tick), seconds, 1e-9) << tick;

    song = BuildSong({{Tempo(0, 600000), Tempo(0, 1000000), EndOfTrack(0)}});
    EXPECT_NEAR(TempoMap(song).Seconds(480), 1.0, 1e-9);  // the last change at a tick holds
}

// Each line as "tick text", "¶" in front of a paragraph's first line.
std::string Lines(const Song& song, LineSource from) {
    std::string out;
    for (const SungLine& l : SungLines(song, 0, from))
        out += (l.NewParagraph ? "\n¶" : "\n") + std::to_string(l.Tick) + " " + l.Text;
    return out;
}

// Behind an empty line a paragraph; a line starts at its first word; from
// karaoke text a tag only without a mark, and CR is a space; from lyrics an
// LF asks for a paragraph, a CR for a line, NUL bytes are nothing and there
// are no tags.
TEST(SungLines, LinesAndParagraphsFromKaraokeTextAndFromLyrics) {
    const Song karaoke =
        BuildSong({{Name("Words"), Text(0, "@LENGL"), Text(0, "@TTitle"), Text(480, "\\Ma"),
                    Text(600, "ry "), Text(720, "had"), Text(960, "/a "), Text(1080, "lit"),
                    Text(1200, "tle"), Text(1300, "/"), Text(1440, "/Its "), Text(1500, "fleece"),
                    Text(1600, "/@home"), Text(1700, " a\rb"), Lyric(1800, "ignored\r")}});
    EXPECT_EQ(Lines(karaoke, LineSource::Karaoke),
              "\n¶480 Mary had\n960 a little\n¶1440 Its fleece\n1600 @home a b");
    EXPECT_NEAR(SungLines(karaoke, 0, LineSource::Karaoke)[1].Seconds, 1.0, 1e-9);
    EXPECT_EQ(TitleLines(karaoke, 0, LineSource::Karaoke), std::vector<std::string>{"Title"});
    const Song lyrics = BuildSong(
        {{Name("Vocal"), Lyric(0, "Title\r"), Lyric(480, "Hel"), Lyric(600, "lo\r"),
          Lyric(720, "world "), Lyric(800, "again\r"), Lyric(800, "\r"), Lyric(960, "Next "),
          Lyric(1000, "verse\n"), Lyric(1100, std::string("\0/Line ", 7)), Lyric(1200, "\\Para "),
          Lyric(1300, "one\rtwo"), Lyric(1400, "@info\r"), Lyric(1500, "x"), Text(1600, "no")}});
    EXPECT_EQ(Lines(lyrics, LineSource::Lyrics),
              "\n¶0 Title\n480 Hello\n720 world again\n¶960 Next verse\n¶1100 Line\n¶1200 Para "
              "one\n1300 two@info\n1500 x");
    // Timestamps "m:ss.hh", rounded down, never below 0.
    std::string shown;
    for (double s : {0.0, 1.0, 61.239, 0.29, 3599.999, 6000.0, -1.0})
        shown += FormatTimestamp(s) + " ";
    EXPECT_EQ(shown, "0:00.00 0:01.00 1:01.23 0:00.29 59:59.99 100:00.00 0:00.00 ");
}

}  // namespace
}  // namespace verselane
