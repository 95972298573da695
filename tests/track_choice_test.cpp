// Which track holds the words: name guesses, material counts, the choice.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lyrics/track_choice.h"
#include "tests/support/lyrics_fixtures.h"

namespace verselane {
namespace {

using namespace test;

// Only real tracks are guessed, track 0 and track 1 included; the search is
// case-sensitive, one name may feed several guesses and the last match wins.
TEST(TrackChoice, NameGuessesOverTheRealTracks) {
    struct Case {
        std::vector<std::string> names;  // of tracks 0, 1, ...
        int16_t lyrics, words, vocal, source;
    };
    for (const Case& c : std::vector<Case>{{{"", "Piano", "Vocal", "Lyrics"}, 3, -1, 2, 3},
                                           {{"", "Melody", "Words"}, -1, 2, -1, 2},
                                           {{"", "Drums", "Bass", "Voice"}, -1, -1, 3, 3},
                                           {{"", "Piano", "Bass"}, -1, -1, -1, -1},
                                           {{"", "Lyrics", "Piano"}, 1, -1, -1, 1},
                                           {{"Lyrics"}, 0, -1, -1, 0},
                                           {{"LYRICS", "Vocals", "Chords"}, -1, 2, 1, 2},
                                           {{"", "Lyrics", "Lyrics 2"}, 2, -1, -1, 2},
                                           {{"Non-Lyrics Text", "Lyrics"}, 1, -1, -1, 1}}) {
        SCOPED_TRACE(testing::PrintToString(c.names));
        std::vector<std::vector<MidiEvent>> tracks;
        for (const std::string& name : c.names) tracks.push_back({Name(name)});
        MidiFile song = SongOf(tracks);
        song.TrackName[c.names.size()] = "Lyrics";  // a spare slot behind the real tracks
        const TrackNameGuesses g = GuessWordsTracks(song);
        EXPECT_EQ(std::vector({g.Lyrics, g.Words, g.Vocal, g.Source()}),
                  std::vector({c.lyrics, c.words, c.vocal, c.source}));
        EXPECT_EQ(RealTrackCount(song), static_cast<int16_t>(c.names.size()));
        song.Header.NumTracks = 30;  // a header that promises more chunks than there are
        EXPECT_EQ(RealTrackCount(song), song.TrackSlots);
    }
}

TEST(TrackChoice, MaterialCountsOnlyMetaEventsOfTheirType) {
    MidiFile song = SongOf({{Name("x"), Lyric(0, "a"), Lyric(1, "b"), Text(2, "t"),
                             MidiEvent{3, 1, 5, 60, 100, {}}}});  // a note on channel 5
    const TrackMaterial m = MaterialOf(song, 0);
    EXPECT_EQ(m.LyricEvents, 2);
    EXPECT_EQ(m.TextEvents, 1);
    EXPECT_TRUE(HoldsMaterial(m, ConversionDirection::LyricsToKaraoke));
    EXPECT_FALSE(HoldsMaterial(TrackMaterial{0, 4}, ConversionDirection::LyricsToKaraoke));
    EXPECT_TRUE(HoldsMaterial(TrackMaterial{0, 4}, ConversionDirection::KaraokeToLyrics));
    song.EventCount[0] = 2;  // events beyond the count are not there
    EXPECT_EQ(MaterialOf(song, 0).LyricEvents, 1);
    EXPECT_EQ(MaterialOfTracks(song).size(), 1u);
}

TEST(TrackChoice, TheGuessHoldingMaterialElseTheTrackWithTheMost) {
    struct Case {
        const char* what;
        std::vector<std::vector<MidiEvent>> tracks;
        int16_t to_karaoke, to_lyrics;
    };
    const std::vector<Case> cases = {
        {"the guess when it holds material",
         {{Name("")},
          {Name("Melody"), Lyric(0, "a"), Lyric(1, "b")},
          {Name("Lyrics"), Lyric(0, "c")}},
         2,
         -1},
        {"a guess without material gives way to the track with the most",
         {{Name(""), Text(0, "@KMIDI KARAOKE FILE")},
          {Name("Words"), Lyric(0, "x")},
          {Name("Melody"), Text(0, "a"), Text(1, "b")}},
         1,
         2},
        {"a Soft Karaoke song: the words track, not the header track",
         {{Name("")},
          {Name("Soft Karaoke"), Text(0, "@KMIDI KARAOKE FILE")},
          {Name("Words"), Text(0, "@LENGL"), Text(1, "\\Ma")}},
         -1,
         2},
        {"a format 0 song: track 0", {{Lyric(0, "a"), Text(0, "b")}}, 0, 0},
        {"the lowest track on a tie", {{Name("")}, {Lyric(0, "a")}, {Lyric(0, "b")}}, 1, -1},
        {"the lyrics guess before the words guess, the vocal guess last",
         {{Name("Vocal"), Lyric(0, "a"), Lyric(0, "a")},
          {Name("Words"), Lyric(0, "b")},
          {Name("Lyrics"), Text(0, "c")}},
         1,
         2},
    };
    for (const Case& c : cases) {
        const MidiFile song = SongOf(c.tracks);
        EXPECT_EQ(ChooseSourceTrack(song, ConversionDirection::LyricsToKaraoke), c.to_karaoke)
            << c.what;
        EXPECT_EQ(ChooseSourceTrack(song, ConversionDirection::KaraokeToLyrics), c.to_lyrics)
            << c.what;
    }
}

}  // namespace
}  // namespace verselane
