// The conversion driver with a scripted dialog: what it offers and
// preselects, what it refuses, and the ways a run can end that the real
// dialogs do not reach (the window journeys in ui_test.cpp convert through
// the real dialogs and check the rest).
#include "driver/convert_lyrics.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "lyrics/sung_lines.h"
#include "model/errors.h"
#include "reader/midi_reader.h"
#include "tests/support/lyrics_fixtures.h"
#include "tests/support/test_support.h"
#include "writer/midi_writer.h"

namespace verselane {
namespace {

using namespace test;
using Laid = SongAndFacts;  // a song with the words its read would find

// Cancelled, unless told to accept.
struct CancelledInfo : KaraokeInfoDialog {
    void Propose(const KaraokeInfo&) override {}
    bool ShowModal() override { return ++shown, accept; }
    bool accept = false;
    std::string Language() const override { return {}; }
    std::string Title() const override { return {}; }
    std::string Artist() const override { return {}; }
    int shown = 0;
};

// Records what the driver put into the dialog and plays the user: a click
// of `click` (Cancel unless told) on track `track` (None: closed without a
// button).
struct Fixture : ConversionDialog, ConversionHost {
    void ClearTracks() override { tracks.clear(), selected = -1; }
    void AddTrack(int16_t number, const std::string& name, const TrackMaterial&) override {
        EXPECT_EQ(number, std::ranges::count(tracks, '|')) << "list index k is track k";
        tracks += name + "|";
    }
    void SelectTrack(int index) override { selected = index; }
    void ClearInsertionPoints() override { tracks2.clear(), selected2 = -1; }
    void AddInsertionPoint(const std::string& name) override { tracks2 += name + "|"; }
    int InsertionPointCount() const override { return int(std::ranges::count(tracks2, '|')); }
    void SelectInsertionPoint(int index) override { selected2 = index; }
    bool KeepKaraoke() const override { return keep; }
    bool KeepLyrics() const override { return keep_lyrics; }
    void ShowModal() override {
        ++shown;
        if (click != ConversionChoice::None) Choice = click, FromIndex = track;
    }
    void Unload() override { ++unloads; }
    void Refuse(const ConversionRefusal& refusal) override { refusals.push_back(refusal); }
    void SetWaitCursor(bool on) override { cursor.push_back(on); }
    bool Run(Laid& laid) { return ConvertLyrics(laid.song, laid.facts, *this, info, *this); }
    std::string tracks, tracks2;  // "name|" per entry
    std::vector<ConversionRefusal> refusals;
    int selected = -1, selected2 = -1, shown = 0, unloads = 0;
    ConversionChoice click = ConversionChoice::Cancel;
    int16_t track = 1;
    bool keep = false, keep_lyrics = true;
    std::vector<bool> cursor;  // the wait cursor's calls
    CancelledInfo info;
};

// Every track is offered by its name, track 0 included. A lyrics or words
// name picks the source and a vocal name the destination; without a source
// name, a vocal name, else the track holding the most material of a
// direction, lyrics first, is the source and a new track the destination.
TEST(ConvertLyricsPreselection, ListIndexIsTrackNumberAndTheLikeliestTrackIsChosen) {
    // The destination "NEW TRACK" is the entry behind the last track.
    const std::tuple<std::string, int, int> rows[] = {
        {"|Piano|Vocal|Lyrics=L", 3, 2},  // Lyrics and Vocal names
        {"|Drums|Bass|Voice=L", 3, 4},    // Voice name
        {"|Lyrics=L|Words", 1, 1},        // lyrics beats words
        {"|Piano|Bass=TT", 2, 3},         // karaoke text only
        {"|Piano|Bass=TT|Gtr=L", 3, 4},   // lyrics before text
        {"Lyrics=L", 0, 0},               // format 0 named Lyrics
    };
    for (const auto& [layout, selected, selected2] : rows) {
        Laid laid = LaidOutSong(layout);
        Fixture f;
        EXPECT_FALSE(f.Run(laid)) << layout;
        std::string names;  // the layout without its "=L"/"=TT" contents
        for (size_t i = 0; i < layout.size(); ++i) {
            if (layout[i] == '=')
                while (i + 1 < layout.size() &&
                       std::isupper(static_cast<unsigned char>(layout[i + 1])))
                    ++i;
            else
                names += layout[i];
        }
        EXPECT_EQ(f.tracks, names + "|");
        EXPECT_EQ(f.tracks2, f.tracks + "NEW TRACK|");
        EXPECT_EQ(std::pair(f.selected, f.selected2), std::pair(selected, selected2));
    }
}

// One words track for both programs, on every corpus song: the track the
// conversion dialog offers first is the one verselane-cli takes (its info
// line for the song's own direction), and no track at all for a song without
// words.
TEST(ConvertLyricsPreselection, DesktopAndCommandLineTakeTheSameTrackOnEveryCorpusSong) {
    VERSELANE_REQUIRE_CORPUS();
    int songs = 0, with_words = 0;
    for (const std::filesystem::path& path : CorpusFiles()) {
        Laid laid;
        if (!ReadSong(laid.song, laid.facts, path.string()).SongUsable()) continue;
        SCOPED_TRACE(path.string());
        ++songs;
        std::string info;
        RunCommand(std::string(VERSELANE_CLI) + " info '" + path.string() + "' 2>/dev/null", &info);
        const std::optional<LineSource> from = PreferredLineSource(laid.song);
        Fixture f;
        f.Run(laid);
        with_words += from.has_value();
        const std::string line =
            std::string(from == LineSource::Karaoke ? "Karaoke text to lyrics"
                                                    : "Lyrics to karaoke text") +
            " would take: " + (from ? "track " + std::to_string(f.selected) : "none") + "\n";
        EXPECT_NE(info.find(line), std::string::npos) << line << " not in:\n" << info;
    }
    // Most of the corpus has words; a floor against an emptied corpus.
    EXPECT_GE(songs, 60);
    EXPECT_GE(with_words, 30);
}

// How a run ends: Cancel unloads the dialog; a dialog closed without a
// button acts on the last click (none in this run: nothing, but true); the
// check box keeps the karaoke text; a track without material for the chosen
// direction, or a song without any (empty texts do not count), is refused
// with a message.
TEST(ConvertLyricsRun, EachWayARunEnds) {
    using enum ConversionChoice;
    // Refused: track 1 holds nothing for the direction chosen.
    const ConversionRefusal no_lyrics{ConversionRefusal::TrackWithoutMaterial, 1,
                                      ConversionDirection::LyricsToKaraoke},
        no_text{ConversionRefusal::TrackWithoutMaterial, 1, ConversionDirection::KaraokeToLyrics};
    const struct {
        const char* layout;
        ConversionChoice earlier, click;
        int16_t track;  // clicked on (-1: none selected, which works on track 0)
        bool keep, converted;
        size_t lyrics, texts;  // in the track worked on afterwards
        std::vector<ConversionRefusal> refused;
    } rows[] = {
        {"|Words=TTT", KaraokeToLyrics, Cancel, 1, false, false, 0, 3, {}},
        {"|Words=TTT", None, None, 1, false, true, 0, 3, {}},
        {"|Words=TTT", KaraokeToLyrics, None, 1, false, true, 3, 0, {}},
        {"|Words=TTT", None, KaraokeToLyrics, 1, true, true, 3, 3, {}},
        {"|Words=TTT", None, LyricsToText, 1, false, false, 0, 3, {no_lyrics}},
        {"|Lyrics=LLL", None, KaraokeToLyrics, 1, false, false, 3, 0, {no_text}},
        {"|Words=E", None, KaraokeToLyrics, 1, false, false, 0, 1, {{}}},
        {"=TTT", None, KaraokeToLyrics, -1, false, true, 3, 0, {}},
    };
    for (const auto& r : rows) {
        Laid laid = LaidOutSong(r.layout);
        const std::string before = EncodeSong(laid.song);
        Fixture f;
        f.Choice = r.earlier, f.FromIndex = 1;
        f.click = r.click, f.track = r.track, f.keep = r.keep;
        EXPECT_EQ(f.Run(laid), r.converted) << r.layout << int(r.earlier) << int(r.click);
        EXPECT_EQ(MetaTexts(laid.song, std::max(0, int{r.track}), kMetaLyric).size(), r.lyrics);
        EXPECT_EQ(MetaTexts(laid.song, std::max(0, int{r.track}), kMetaText).size(), r.texts);
        const std::vector<bool> waited = {true, false};  // the song changes only under it
        EXPECT_EQ(f.cursor, EncodeSong(laid.song) == before ? std::vector<bool>() : waited);
        EXPECT_EQ(f.unloads, r.click == Cancel);
        EXPECT_EQ(f.shown, r.refused != std::vector{ConversionRefusal{}});
        EXPECT_EQ(f.info.shown, 0);
        EXPECT_TRUE(f.refusals == r.refused) << r.layout;
    }
    // A track that the song does not have: the error reaches the caller.
    Laid song = LaidOutSong("|Words=TT");
    Fixture f;
    f.click = KaraokeToLyrics, f.track = 50;
    EXPECT_THROW(f.Run(song), RuntimeError);
    // Lyrics to text keeps the lyric events (moved to track 3, behind the
    // new pair) when Keep Lyric Events is ticked and drops them otherwise;
    // the words track holds the four information lines and the words.
    for (bool keep : {true, false}) {
        Laid lyrics = LaidOutSong("|Lyrics=LLL");
        Fixture g;
        g.click = LyricsToText, g.keep_lyrics = keep, g.info.accept = true;
        EXPECT_TRUE(g.Run(lyrics));
        EXPECT_EQ(MetaTexts(lyrics.song, 3, kMetaLyric).size(), keep ? 3u : 0u);
        EXPECT_EQ(MetaTexts(lyrics.song, 2, kMetaText).size(), 7u);
    }
    // The proposed language is English when the song names none.
    EXPECT_EQ(ProposedKaraokeInfo(LaidOutSong("Song Name").song).Language, "ENGL");
}

}  // namespace
}  // namespace verselane
