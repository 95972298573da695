// The conversion driver with scripted dialogs: what it offers, what it
// preselects, what it proposes and what it does with each way the dialogs
// close.
#include "driver/convert_lyrics.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "model/errors.h"
#include "reader/midi_reader.h"
#include "tests/support/test_support.h"
#include "writer/midi_writer.h"

namespace verselane {
namespace {

using test::Hex;
using test::MetaTexts;
using Texts = std::vector<std::string>;

// Records what the driver put into the dialog; a script plays the user.
struct ScriptedConversionDialog : ConversionDialog {
    void ClearTracks() override { tracks.clear(), materials.clear(), selected = -1; }
    void AddTrack(int16_t number, const std::string& name, const TrackMaterial& m) override {
        EXPECT_EQ(number, static_cast<int>(tracks.size())) << "list index k is track k";
        tracks.push_back(name);
        materials.push_back({m.LyricEvents, m.TextEvents});
    }
    void SelectTrack(int index) override { selected = index; }
    void ClearTracks2() override { tracks2.clear(), selected2 = -1; }
    void AddTrack2(const std::string& name) override { tracks2.push_back(name); }
    int Tracks2Count() const override { return static_cast<int>(tracks2.size()); }
    void SelectTrack2(int index) override { selected2 = index; }
    bool KeepKaraoke() const override { return keep_kar; }
    void ShowModal() override { ++shown, script ? script(*this) : void(); }
    void Unload() override { ++unloads; }
    // A button click on `track`: the choice and the selections at that moment.
    void Click(int16_t choice, int track) {
        Choice = choice;
        if (choice == kChoiceCancel) return;
        FromIndex = static_cast<int16_t>(selected = track);
        AfterIndex = static_cast<int16_t>(selected2);
    }
    Texts tracks, tracks2;
    std::vector<std::pair<int, int>> materials;  // lyric and text events per entry
    int selected = -1, selected2 = -1, shown = 0, unloads = 0;
    bool keep_kar = true;
    std::function<void(ScriptedConversionDialog&)> script;
};

struct ScriptedInfoDialog : KaraokeInfoDialog {
    void Propose(const KaraokeInfo& info) override { proposed = typed = info; }
    bool ShowModal() override { return ++shown, script ? script(typed) : void(), !cancel; }
    std::string Language() const override { return typed.Language; }
    std::string Title() const override { return typed.Title; }
    std::string Artist() const override { return typed.Artist; }
    KaraokeInfo proposed, typed;  // what was proposed, what the boxes hold
    bool cancel = false;
    int shown = 0;
    std::function<void(KaraokeInfo&)> script;
};

struct Fixture : ConversionHost {
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    void SetWaitCursor(bool on) override { cursor.push_back(on); }
    bool Run(MidiFile& song) { return ConvertLyrics(song, lyr_copy, kar_inf, *this); }
    void Answer(int16_t choice, int track = 1) {
        lyr_copy.script = [=](ScriptedConversionDialog& d) { d.Click(choice, track); };
    }
    ScriptedConversionDialog lyr_copy;
    ScriptedInfoDialog kar_inf;
    Texts messages;
    std::vector<bool> cursor;  // the wait cursor's calls
};

const std::vector<bool> kWaited = {true, false};
const std::string kLyrics = Hex("00 FF 05 03 'Twi' 60 FF 05 05 'nkle ' 60 FF 05 05 'twin' 0D");
const std::string kText = Hex("00 FF 01 03 'Twi' 60 FF 01 05 'nkle ' 60 FF 01 05 '/twin'");

// A song from "name=material|name=material|...", track 0 first, a single
// track making format 0. Material: L three lyrics, T three karaoke texts,
// B both, F one short lyric, N a note, E empty texts, X `extra`.
MidiFile Song(const std::string& layout, const std::string& extra = {}) {
    const std::map<char, std::string> material = {{'L', kLyrics},
                                                  {'T', kText},
                                                  {'B', kLyrics + kText},
                                                  {'F', Hex("00 FF 05 02 'la'")},
                                                  {'N', Hex("00 90 3C 40 60 80 3C 00")},
                                                  {'E', Hex("00 FF 01 00 00 FF 05 00")},
                                                  {'X', extra}};
    std::string tracks;
    int count = 0;
    for (size_t start = 0, end; start <= layout.size(); start = end + 1, ++count) {
        end = std::min(layout.find('|', start), layout.size());
        const std::string track = layout.substr(start, end - start);
        const size_t is = track.find('=');
        const std::string name = track.substr(0, is);
        std::string body = is == std::string::npos ? "" : material.at(track[is + 1]);
        if (!name.empty()) body = Hex("00 FF 03") + static_cast<char>(name.size()) + name + body;
        tracks += test::Chunk("MTrk", body + Hex("00 FF 2F 00"));
    }
    MidiFile song;
    ResetMidiFile(song);
    EXPECT_EQ(
        ReadMidiBytes(song, test::SmfHeader(count == 1 ? 0 : 1, count, 96) + tracks).Message(), "");
    return song;
}

// Every track is offered by its name, track 0 included. A lyrics or words
// name picks the source and a vocal name the destination; without a source
// name, a vocal name, else the track holding the most material of a
// direction, lyrics first, is the source and a new track the destination.
TEST(ConvertLyricsPreselection, ListIndexIsTrackNumberAndTheLikeliestTrackIsChosen) {
    const int kNew = -2;  // "NEW TRACK"
    const std::tuple<std::string, int, int> rows[] = {
        {"|Piano|Vocal|Lyrics=L", 3, 2},   // Lyrics and Vocal names
        {"|Melody|Words=L", 2, 1},         // Words name
        {"|Drums|Bass|Voice=L", 3, kNew},  // Voice name
        {"|Piano|Bass=L", 2, kNew},        // no name: the track with lyrics
        {"=L|Piano|Bass", 0, kNew},        // no name: lyrics in track 0
        {"|Lyrics=L|Words", 1, 1},         // lyrics beats words
        {"|Piano|Bass=T", 2, kNew},        // karaoke text only
        {"|Piano|Bass=T|Gtr=L", 3, kNew},  // lyrics before text
        {"|Piano=F|Bass=L", 2, kNew},      // the most lyrics
        {"=L", 0, kNew},                   // format 0 unnamed
        {"Lyrics=L", 0, 0},                // format 0 named Lyrics
    };
    for (const auto& [layout, selected, selected2] : rows) {
        MidiFile song = Song(layout);
        Fixture f;
        f.Answer(kChoiceCancel);
        EXPECT_FALSE(f.Run(song));
        std::string names;
        for (const std::string& name : f.lyr_copy.tracks2) names += name + "|";
        EXPECT_EQ(names, std::regex_replace(layout, std::regex("=."), "") + "|NEW TRACK|");
        f.lyr_copy.tracks2.pop_back();
        EXPECT_EQ(f.lyr_copy.tracks, f.lyr_copy.tracks2) << layout;
        EXPECT_EQ(f.lyr_copy.selected, selected) << layout;
        EXPECT_EQ(f.lyr_copy.selected2, selected2 == kNew ? song.Header.NumTracks : selected2);
    }
}

// Each entry carries what its track holds; a track without material for
// the chosen direction is refused with a message and leaves the song.
TEST(ConvertLyricsMaterial, EntriesTellTheMaterialAndEmptyDirectionsAreRefused) {
    MidiFile song = Song("|Melody=N|Lyrics=B");
    const std::string before = EncodeMidiFile(song);
    const std::tuple<int, int16_t, const char*> rows[] = {
        {1, kChoiceLyricsToText,
         "Track 1 holds no lyric events, so there is nothing to turn into karaoke text. "
         "Choose a track that lists lyric events."},
        {1, kChoiceKaraokeToLyrics,
         "Track 1 holds no karaoke text events, so there is nothing to turn into lyrics. "
         "Choose a track that lists karaoke text events."},
        {0, kChoiceLyricsToText, "Track 0 holds no lyric events"},
    };
    for (const auto& [track, choice, message] : rows) {
        Fixture f;
        f.Answer(choice, track);
        EXPECT_FALSE(f.Run(song));
        EXPECT_EQ(f.lyr_copy.materials, (std::vector<std::pair<int, int>>{{0, 0}, {0, 0}, {3, 3}}));
        ASSERT_EQ(f.messages.size(), 1u);
        EXPECT_TRUE(f.messages[0].starts_with(message)) << f.messages[0];
        EXPECT_EQ(f.kar_inf.shown, 0);
        EXPECT_EQ(EncodeMidiFile(song), before);
    }
    // Neither material anywhere: the message, no dialog; empty texts do not count.
    MidiFile none = Song("Lyrics|Words=E");
    Fixture f;
    EXPECT_FALSE(f.Run(none));
    EXPECT_EQ(f.messages, Texts{"No Text or Lyric events were found."});
    EXPECT_EQ(f.lyr_copy.shown, 0);
    EXPECT_TRUE(f.cursor.empty());
}

// Cancel in either dialog leaves the song and the indices of an earlier
// click; a dialog closed without a button acts on the last click (none in
// this run: nothing, but true); the check box keeps the karaoke text.
TEST(ConvertLyricsRun, EachWayTheDialogsCloseAndTheCheckBox) {
    const struct {
        int16_t earlier, click;
        bool keep, converted;
        size_t lyrics, texts;  // in track 1 afterwards
    } rows[] = {
        {kChoiceKaraokeToLyrics, kChoiceCancel, false, false, 0, 3},
        {kChoiceNone, kChoiceLyricsToText, false, false, 0, 3},  // the information dialog cancelled
        {kChoiceNone, kChoiceNone, false, true, 0, 3},
        {kChoiceKaraokeToLyrics, kChoiceNone, false, true, 3, 0},
        {kChoiceNone, kChoiceKaraokeToLyrics, true, true, 3, 3},
        {kChoiceNone, kChoiceKaraokeToLyrics, false, true, 3, 0},
    };
    for (const auto& r : rows) {
        MidiFile song = Song("|Words=T|Lyrics=L");
        const std::string before = EncodeMidiFile(song);
        Fixture f;
        f.lyr_copy.Choice = r.earlier;
        f.lyr_copy.FromIndex = 1, f.lyr_copy.AfterIndex = 9;
        f.lyr_copy.keep_kar = r.keep;
        f.kar_inf.cancel = true;
        if (r.click) f.Answer(r.click, r.click == kChoiceLyricsToText ? 2 : 1);
        EXPECT_EQ(f.Run(song), r.converted) << r.earlier << r.click;
        EXPECT_EQ(MetaTexts(song, 1, kMetaLyric).size(), r.lyrics);
        EXPECT_EQ(MetaTexts(song, 1, kMetaText).size(), r.texts);
        EXPECT_EQ(f.kar_inf.shown, r.click == kChoiceLyricsToText);
        EXPECT_EQ(f.cursor, r.lyrics ? kWaited : std::vector<bool>{});
        EXPECT_EQ(f.lyr_copy.unloads, r.click == kChoiceCancel);
        EXPECT_TRUE(r.lyrics || EncodeMidiFile(song) == before);
        EXPECT_TRUE(r.click != kChoiceCancel || f.lyr_copy.FromIndex + f.lyr_copy.AfterIndex == 10);
    }
    // A track that the song does not have: the error reaches the caller.
    MidiFile song = Song("|Words=T");
    Fixture f;
    f.lyr_copy.Choice = kChoiceKaraokeToLyrics;
    f.lyr_copy.FromIndex = 50;
    EXPECT_THROW(f.Run(song), RuntimeError);
    // No selection (-1) works on track 0.
    MidiFile zero = Song("=T");
    f.lyr_copy.FromIndex = -1;
    EXPECT_TRUE(f.Run(zero));
    EXPECT_EQ(MetaTexts(zero, 0, kMetaLyric).size(), 3u);
}

TEST(ConvertLyricsRun, ProposalsComeFromTheSongsOwnLines) {
    const std::tuple<std::string, std::string, Texts> rows[] = {
        {"=X",
         Hex("00 FF 01 06 '@LFREN' 00 FF 01 05 '@T Ma' 00 FF 01 04 '@TMe' 00 FF 01 04 '@TX '"),
         {"FREN", "Ma", "Me"}},
        {"Song Name=X", Hex("00 FF 01 03 '@TT'"), {"ENGL", "T", ""}},
        {"  Song Name ", "", {"ENGL", "Song Name", ""}},
        {"", "", {"ENGL", "", ""}},
    };
    for (const auto& [layout, words, expected] : rows) {
        const KaraokeInfo info = ProposedKaraokeInfo(Song(layout, words));
        EXPECT_EQ((Texts{info.Language, info.Title, info.Artist}), expected) << layout;
    }
}

}  // namespace
}  // namespace verselane
