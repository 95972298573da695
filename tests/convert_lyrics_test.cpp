// The conversion driver with scripted dialogs: what it offers, what it
// preselects, what it proposes and what it does with each way the dialogs
// close.
#include "driver/convert_lyrics.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "model/errors.h"
#include "reader/midi_reader.h"
#include "tests/support/test_support.h"
#include "writer/midi_writer.h"

namespace verselane {
namespace {

using test::Hex;
using test::Smf;

// Records what the driver put into the dialog; a script plays the user.
class ScriptedConversionDialog : public ConversionDialog {
  public:
    void ClearTracks() override { tracks.clear(), materials.clear(), selected = -1; }
    void AddTrack(int16_t number, const std::string& name, const TrackMaterial& m) override {
        EXPECT_EQ(number, static_cast<int>(tracks.size()));
        tracks.push_back(name);
        materials.push_back({m.LyricEvents, m.TextEvents});
    }
    void SelectTrack(int index) override { selected = index; }
    void ClearTracks2() override { tracks2.clear(), selected2 = -1; }
    void AddTrack2(const std::string& name) override { tracks2.push_back(name); }
    int Tracks2Count() const override { return static_cast<int>(tracks2.size()); }
    void SelectTrack2(int index) override { selected2 = index; }
    bool KeepKaraoke() const override { return keep_kar; }
    void ShowModal() override {
        ++shown;
        if (script) script(*this);
    }
    void Unload() override { ++unloads; }

    // A button click: the choice and the selections at that moment.
    void Click(int16_t choice) {
        Choice = choice;
        if (choice == kChoiceCancel) return;
        FromIndex = static_cast<int16_t>(selected);
        AfterIndex = static_cast<int16_t>(selected2);
    }

    std::vector<std::string> tracks, tracks2;
    std::vector<std::pair<int, int>> materials;  // lyric and text events per entry
    int selected = -1, selected2 = -1;
    bool keep_kar = true;
    int shown = 0, unloads = 0;
    std::function<void(ScriptedConversionDialog&)> script;
};

class ScriptedInfoDialog : public KaraokeInfoDialog {
  public:
    void Propose(const KaraokeInfo& info) override { proposed = shown_info = info; }
    bool ShowModal() override {
        ++shown;
        if (script) script(*this);
        return !cancel;
    }
    std::string Language() const override { return shown_info.Language; }
    std::string Title() const override { return shown_info.Title; }
    std::string Artist() const override { return shown_info.Artist; }

    KaraokeInfo proposed, shown_info;  // what was proposed, what the boxes hold
    bool cancel = false;
    int shown = 0;
    std::function<void(ScriptedInfoDialog&)> script;
};

class RecordingHost : public ConversionHost {
  public:
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    void SetWaitCursor(bool on) override { waiting = on, cursor_calls.push_back(on); }
    std::vector<std::string> messages;
    std::vector<bool> cursor_calls;
    bool waiting = false;
};

// A track body: its name (if any), the given events, end of track.
std::string Track(const std::string& name, const std::string& events = {}) {
    std::string body;
    if (!name.empty()) body += Hex("00 FF 03") + static_cast<char>(name.size()) + name;
    return body + events + Hex("00 FF 2F 00");
}

const std::string kLyrics = Hex("00 FF 05 03 'Twi' 60 FF 05 05 'nkle ' 60 FF 05 05 'twin' 0D");
const std::string kText = Hex("00 FF 01 03 'Twi' 60 FF 01 05 'nkle ' 60 FF 01 05 '/twin'");

MidiFile SongOf(const std::string& bytes) {
    MidiFile song;
    ResetMidiFile(song);
    EXPECT_EQ(ReadMidiBytes(song, bytes).Message(), "");
    return song;
}

// A format 1 song from (name, events) pairs, track 0 first.
MidiFile SongOf(const std::vector<std::pair<std::string, std::string>>& tracks, int format = 1) {
    std::string bytes = test::SmfHeader(format, static_cast<int>(tracks.size()), 96);
    for (const auto& [name, events] : tracks) bytes += test::Chunk("MTrk", Track(name, events));
    return SongOf(bytes);
}

struct Fixture {
    ScriptedConversionDialog lyr_copy;
    ScriptedInfoDialog kar_inf;
    RecordingHost host;
    bool Run(MidiFile& song) { return ConvertLyrics(song, lyr_copy, kar_inf, host); }
    void Answer(int16_t choice) {
        lyr_copy.script = [choice](ScriptedConversionDialog& d) { d.Click(choice); };
    }
};

// Every track is offered, track 0 included, so list index k is track k. The
// name guesses find a track anywhere; without one, the track holding the
// most material of a direction is chosen, lyrics first.
TEST(ConvertLyricsPreselection, ListIndexIsTrackNumberAndTheLikeliestTrackIsChosen) {
    const std::string L = kLyrics, T = kText, few = Hex("00 FF 05 02 'la'");
    struct Row {
        const char* what;
        std::vector<std::pair<std::string, std::string>> tracks;
        int tracks_selected;
        int tracks2_selected;  // -2 = "NEW TRACK"
        int format = 1;
    };
    const std::vector<Row> rows = {
        {"Lyrics and Vocal names", {{"", ""}, {"Piano", ""}, {"Vocal", ""}, {"Lyrics", L}}, 3, 2},
        {"Words name", {{"", ""}, {"Melody", ""}, {"Words", L}}, 2, 1},
        {"Voice name", {{"", ""}, {"Drums", ""}, {"Bass", ""}, {"Voice", L}}, 3, -2},
        {"no name: the track with lyrics", {{"", ""}, {"Piano", ""}, {"Bass", L}}, 2, -2},
        {"no name: lyrics in track 0", {{"", L}, {"Piano", ""}, {"Bass", ""}}, 0, -2},
        {"Lyrics at track 1", {{"", ""}, {"Lyrics", L}, {"Piano", ""}}, 1, 1},
        {"Vocals feeds two guesses", {{"", ""}, {"Piano", L}, {"Vocals", ""}}, 2, 2},
        {"Chords feeds the words guess", {{"", ""}, {"Chords", ""}, {"Bass", L}}, 1, 1},
        {"LYRICS in capitals", {{"", ""}, {"Piano", ""}, {"LYRICS", L}}, 2, -2},
        {"the later lyrics name", {{"", ""}, {"Lyrics", L}, {"Lyrics 2", ""}, {"Bass", ""}}, 2, 1},
        {"lyrics beats words", {{"", ""}, {"Lyrics", L}, {"Words", ""}}, 1, 1},
        {"karaoke text only", {{"", ""}, {"Piano", ""}, {"Bass", T}}, 2, -2},
        {"lyrics before text", {{"", ""}, {"Piano", ""}, {"Bass", T}, {"Gtr", L}}, 3, -2},
        {"the most lyrics", {{"", ""}, {"Piano", few}, {"Bass", L}}, 2, -2},
        {"format 0 unnamed", {{"", L}}, 0, -2, 0},
        {"format 0 named Lyrics", {{"Lyrics", L}}, 0, 0, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        MidiFile song = SongOf(row.tracks, row.format);
        Fixture f;
        f.Answer(kChoiceCancel);
        EXPECT_FALSE(f.Run(song));
        std::vector<std::string> names;
        for (const auto& t : row.tracks) names.push_back(t.first);
        EXPECT_EQ(f.lyr_copy.tracks, names);
        names.push_back("NEW TRACK");
        EXPECT_EQ(f.lyr_copy.tracks2, names);
        EXPECT_EQ(f.lyr_copy.selected, row.tracks_selected);
        const int new_track = static_cast<int>(row.tracks.size());
        EXPECT_EQ(f.lyr_copy.selected2,
                  row.tracks2_selected == -2 ? new_track : row.tracks2_selected);
    }
}

// Each entry carries what its track holds; a track without material for
// the chosen direction is refused with a message and leaves the song.
TEST(ConvertLyricsMaterial, EntriesTellTheMaterialAndEmptyDirectionsAreRefused) {
    MidiFile song =
        SongOf({{"", ""}, {"Melody", Hex("00 90 3C 40 60 80 3C 00")}, {"Lyrics", kLyrics + kText}});
    const std::string before = EncodeMidiFile(song);
    struct Row {
        int track;
        int16_t choice;
        const char* message;  // empty when the conversion runs
    };
    const std::vector<Row> rows = {
        {1, kChoiceLyricsToText,
         "Track 1 holds no lyric events, so there is nothing to turn into karaoke text. "
         "Choose a track that lists lyric events."},
        {1, kChoiceKaraokeToLyrics,
         "Track 1 holds no karaoke text events, so there is nothing to turn into lyrics. "
         "Choose a track that lists karaoke text events."},
        {0, kChoiceLyricsToText, "Track 0 holds no lyric events"},
    };
    for (const Row& row : rows) {
        Fixture f;
        f.lyr_copy.script = [&](ScriptedConversionDialog& d) {
            d.selected = row.track;
            d.Click(row.choice);
        };
        EXPECT_FALSE(f.Run(song));
        EXPECT_EQ(f.lyr_copy.materials, (std::vector<std::pair<int, int>>{{0, 0}, {0, 0}, {3, 3}}));
        ASSERT_EQ(f.host.messages.size(), 1u);
        EXPECT_TRUE(f.host.messages[0].starts_with(row.message)) << f.host.messages[0];
        EXPECT_EQ(f.kar_inf.shown, 0);
        EXPECT_EQ(EncodeMidiFile(song), before);
    }

    // Neither material anywhere: the message, no dialog; empty texts do not count.
    MidiFile none = SongOf({{"Lyrics", ""}, {"Words", Hex("00 FF 01 00 00 FF 05 00")}});
    Fixture f;
    EXPECT_FALSE(f.Run(none));
    EXPECT_EQ(f.host.messages, std::vector<std::string>{"No Text or Lyric events were found."});
    EXPECT_EQ(f.lyr_copy.shown, 0);
    EXPECT_TRUE(f.host.cursor_calls.empty());
}

TEST(ConvertLyricsCancel, EitherDialogCancelledLeavesTheSong) {
    MidiFile song = SongOf({{"", ""}, {"Words", kLyrics + kText}});
    const std::string before = EncodeMidiFile(song);
    Fixture f;
    // An earlier conversion click left its indices.
    f.lyr_copy.Choice = kChoiceKaraokeToLyrics;
    f.lyr_copy.FromIndex = 7;
    f.lyr_copy.AfterIndex = 9;
    f.Answer(kChoiceCancel);
    EXPECT_FALSE(f.Run(song));
    EXPECT_EQ(f.lyr_copy.unloads, 1);
    EXPECT_EQ(f.lyr_copy.FromIndex, 7);
    EXPECT_EQ(f.lyr_copy.AfterIndex, 9);
    EXPECT_EQ(f.kar_inf.shown, 0);

    // Cancel in the information dialog cancels the whole conversion.
    f.Answer(kChoiceLyricsToText);
    f.kar_inf.cancel = true;
    EXPECT_FALSE(f.Run(song));
    EXPECT_EQ(f.kar_inf.shown, 1);
    EXPECT_EQ(EncodeMidiFile(song), before);
    EXPECT_TRUE(f.host.cursor_calls.empty());
}

TEST(ConvertLyricsRun, LyricsToTextProposesTheSongsInformationAndUsesWhatIsTyped) {
    MidiFile song = SongOf({{"Stille Nacht", ""}, {"Piano", ""}, {"Lyrics", kLyrics}});
    Fixture f;
    f.Answer(kChoiceLyricsToText);
    bool waiting_while_asked = true;
    f.kar_inf.script = [&](ScriptedInfoDialog& d) {
        waiting_while_asked = f.host.waiting;
        d.shown_info.Language = " GERM ";  // handed over untrimmed
        d.shown_info.Artist = "Gruber";
    };
    EXPECT_TRUE(f.Run(song));
    EXPECT_EQ(f.kar_inf.proposed.Title, "Stille Nacht");
    EXPECT_FALSE(waiting_while_asked) << "no wait cursor while the user types";
    EXPECT_EQ(f.host.cursor_calls, (std::vector<bool>{true, false}));

    // The Soft Karaoke pair follows track 0; the lyrics track moved to 4.
    ASSERT_EQ(song.Header.NumTracks, 5);
    EXPECT_EQ(test::MetaTexts(song, 1, kMetaTrackName), std::vector<std::string>{"Soft Karaoke"});
    const std::vector<std::string> words = test::MetaTexts(song, 2, kMetaText);
    ASSERT_GE(words.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(words.begin(), words.begin() + 3),
              (std::vector<std::string>{"@LGERM", "@TStille Nacht", "@TGruber"}));
    EXPECT_EQ(test::MetaTexts(song, 4, kMetaLyric).size(), 3u);

    // Converting the result proposes its own lines, not what was typed before.
    EXPECT_EQ(ProposedKaraokeInfo(song).Language, "GERM");
    MidiFile other = SongOf({{"", kLyrics}}, 0);
    f.kar_inf.script = nullptr;
    EXPECT_TRUE(f.Run(other));
    EXPECT_EQ(f.kar_inf.proposed.Title, "");
    EXPECT_EQ(test::MetaTexts(other, 2, kMetaText).at(0), "@LENGL");
    EXPECT_EQ(test::MetaTexts(other, 0, kMetaLyric).size(), 3u) << "track 0 keeps its lyrics";
    EXPECT_GT(test::MetaTexts(other, 2, kMetaText).size(), 3u) << "format 0: the words follow";
}

TEST(ConvertLyricsRun, ProposalsComeFromTheSongsOwnLines) {
    struct Row {
        std::string track0_name, words;
        KaraokeInfo expected;
    };
    const std::vector<Row> rows = {
        {"",
         Hex("00 FF 01 06 '@LFREN' 00 FF 01 05 '@T Ma' 00 FF 01 04 '@TMe' 00 FF 01 04 '@TX '"),
         {"FREN", "Ma", "Me", ""}},
        {"Song Name", Hex("00 FF 01 03 '@TT'"), {"ENGL", "T", "", ""}},
        {"  Song Name ", "", {"ENGL", "Song Name", "", ""}},
        {"", "", {"ENGL", "", "", ""}},
    };
    for (const Row& row : rows) {
        const KaraokeInfo info = ProposedKaraokeInfo(SongOf({{row.track0_name, row.words}}, 0));
        EXPECT_EQ(info.Language, row.expected.Language);
        EXPECT_EQ(info.Title, row.expected.Title);
        EXPECT_EQ(info.Artist, row.expected.Artist);
    }
}

TEST(ConvertLyricsRun, KaraokeToLyricsInPlaceOrBesideByTheCheckBox) {
    for (bool keep : {true, false}) {
        SCOPED_TRACE(keep ? "keep" : "replace");
        MidiFile song = SongOf({{"", ""}, {"Words", kText}});
        Fixture f;
        f.lyr_copy.keep_kar = keep;
        f.Answer(kChoiceKaraokeToLyrics);
        EXPECT_TRUE(f.Run(song));
        EXPECT_EQ(f.kar_inf.shown, 0);
        EXPECT_EQ(test::MetaTexts(song, 1, kMetaLyric).size(), 3u);
        EXPECT_EQ(test::MetaTexts(song, 1, kMetaText).size(), keep ? 3u : 0u);
        EXPECT_EQ(f.host.cursor_calls, (std::vector<bool>{true, false}));
    }
}

TEST(ConvertLyricsRun, DialogClosedWithoutAButtonActsOnTheLastClick) {
    // Before any click in this run: no conversion, but true.
    MidiFile song = SongOf({{"", ""}, {"Words", kText}});
    const std::string before = EncodeMidiFile(song);
    Fixture f;
    EXPECT_TRUE(f.Run(song));
    EXPECT_EQ(EncodeMidiFile(song), before);

    // After a karaoke-to-lyrics click: that conversion again, on its track.
    f.lyr_copy.Choice = kChoiceKaraokeToLyrics;
    f.lyr_copy.FromIndex = 1;
    f.lyr_copy.keep_kar = false;
    EXPECT_TRUE(f.Run(song));
    EXPECT_EQ(test::MetaTexts(song, 1, kMetaLyric).size(), 3u);
    EXPECT_TRUE(test::MetaTexts(song, 1, kMetaText).empty());

    // A track that the song does not have: the error reaches the caller.
    f.lyr_copy.FromIndex = 50;
    f.host.cursor_calls.clear();
    EXPECT_THROW(f.Run(song), RuntimeError);
    EXPECT_TRUE(f.host.cursor_calls.empty() ||
                f.host.cursor_calls == (std::vector<bool>{true, false}));

    // No selection (-1) works on track 0.
    MidiFile zero = SongOf({{"", kText}}, 0);
    f.lyr_copy.FromIndex = -1;
    EXPECT_TRUE(f.Run(zero));
    EXPECT_EQ(test::MetaTexts(zero, 0, kMetaLyric).size(), 3u);
}

}  // namespace
}  // namespace verselane
