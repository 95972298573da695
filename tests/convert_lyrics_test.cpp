// The conversion driver with scripted dialogs: what it offers, what it
// preselects and enables, and what it does with each way the dialogs close.
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

// A conversion dialog that behaves like the desktop one: the check box keeps
// its state while the dialog stays loaded, and Unload brings back the
// initial states. What "the user" does while it is shown is a script.
class ScriptedConversionDialog : public ConversionDialog {
  public:
    void ClearTracks() override { tracks.clear(), selected = -1; }
    void AddTrack(const std::string& name) override { tracks.push_back(name); }
    void SelectTrack(int index) override { selected = index; }
    void ClearTracks2() override { tracks2.clear(), selected2 = -1; }
    void AddTrack2(const std::string& name) override { tracks2.push_back(name); }
    int Tracks2Count() const override { return static_cast<int>(tracks2.size()); }
    void SelectTrack2(int index) override { selected2 = index; }
    void SetKaraokeToLyricsEnabled(bool enabled) override { command1 = enabled; }
    void SetLyricsToTextEnabled(bool enabled) override { command2 = enabled; }
    bool KeepKaraoke() const override { return keep_kar; }
    void ShowModal() override {
        ++shown;
        seen = {tracks, tracks2, selected, selected2, command1, command2};
        if (script) script(*this);
    }
    void Unload() override {
        ++unloads;
        tracks.clear(), tracks2.clear();
        selected = selected2 = -1;
        command1 = command2 = true;
        keep_kar = true;
    }

    // The three buttons, as their click handlers do it.
    void ClickKaraokeToLyrics() { Click(kChoiceKaraokeToLyrics); }
    void ClickLyricsToText() { Click(kChoiceLyricsToText); }
    void ClickCancel() { Choice = kChoiceCancel; }

    std::vector<std::string> tracks, tracks2;
    int selected = -1, selected2 = -1;
    bool command1 = true, command2 = true, keep_kar = true;
    int shown = 0, unloads = 0;
    std::function<void(ScriptedConversionDialog&)> script;

    // What the user saw at the last showing.
    struct Seen {
        std::vector<std::string> tracks, tracks2;
        int selected = -1, selected2 = -1;
        bool command1 = false, command2 = false;
    } seen;

  private:
    void Click(int16_t choice) {
        Choice = choice;
        FromIndex = static_cast<int16_t>(selected);
        AfterIndex = static_cast<int16_t>(selected2);
    }
};

class ScriptedInfoDialog : public KaraokeInfoDialog {
  public:
    void ShowModal() override {
        ++shown;
        if (script) script(*this);
    }
    std::string Language() const override { return lang; }
    std::string Title() const override { return title; }
    std::string Artist() const override { return artist; }
    // A close from the title bar unloads it: the defaults come back.
    void CloseFromTitleBar() { lang = "ENGL", title = "YOUR SONG", artist = "ARTIST"; }

    std::string lang = "ENGL", title = "YOUR SONG", artist = "ARTIST";
    int shown = 0;
    std::function<void(ScriptedInfoDialog&)> script;
};

class RecordingHost : public ConversionHost {
  public:
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    void SetWaitCursor(bool waiting) override {
        this->waiting = waiting;
        cursor_calls.push_back(waiting);
    }
    std::vector<std::string> messages;
    std::vector<bool> cursor_calls;
    bool waiting = false;
};

// A track body: its name (if any), the given events, end of track.
std::string Track(const std::string& name, const std::string& events = {}) {
    std::string body;
    if (!name.empty()) {
        body += Hex("00 FF 03") + static_cast<char>(name.size()) + name;
    }
    return body + events + Hex("00 FF 2F 00");
}

const std::string kLyrics = Hex("00 FF 05 03 'Twi' 60 FF 05 05 'nkle ' 60 FF 05 05 'twin' 0D");
const std::string kText = Hex("00 FF 01 03 'Twi' 60 FF 01 05 'nkle ' 60 FF 01 05 '/twin'");

MidiFile SongOf(const std::string& bytes) {
    MidiFile song;
    ResetMidiFile(song);
    std::string message = ReadMidiBytes(song, bytes).Message();
    EXPECT_EQ(message, "");
    return song;
}

struct Fixture {
    ScriptedConversionDialog lyr_copy;
    ScriptedInfoDialog kar_inf;
    RecordingHost host;
    bool Run(MidiFile& song) { return ConvertLyrics(song, lyr_copy, kar_inf, host); }
};

// Lyric (0x05) or text (0x01) events of one track, as texts.
std::vector<std::string> MetaTexts(const MidiFile& song, int t, uint8_t type) {
    std::vector<std::string> texts;
    for (const MidiEvent& e : test::EventsOf(song, t)) {
        if (e.Kind == kKindMeta && e.Channel == type) texts.emplace_back(std::string(e.Data));
    }
    return texts;
}

// The preselection of both lists. Every track is offered, track 0 included,
// so list index k is track k; the name guesses therefore also find a track
// at index 0 or 1, and when no guess matches, the first track holding the
// material of an enabled direction is chosen (the most events, lyrics first).
TEST(ConvertLyricsPreselection, ListIndexIsTrackNumberWithTrackZeroOffered) {
    struct Row {
        const char* what;
        std::vector<std::string> names;  // tracks 1, 2, ... (track 0 is unnamed)
        int lyrics_track;                // where the lyric events are
        int tracks;                      // expected selection in "Copy lyrics from:"
        int tracks2;                     // expected in the second list, -2 = "NEW TRACK"
    };
    const std::vector<Row> rows = {
        {"Lyrics by LyricsGuess, Vocal by VocalGuess", {"Piano", "Vocal", "Lyrics"}, 3, 3, 2},
        {"Words by WordsGuess, second list default", {"Melody", "Words"}, 2, 2, 1},
        {"Voice by VocalGuess", {"Drums", "Bass", "Voice"}, 3, 3, -2},
        {"no name guess: the track with the lyrics", {"Piano", "Bass"}, 2, 2, -2},
        {"no name guess: lyrics in track 0", {"Piano", "Bass"}, 0, 0, -2},
        {"Lyrics at track 1 is found", {"Lyrics", "Piano"}, 1, 1, 1},
        {"Vocals feeds both words and vocal guesses", {"Piano", "Vocals"}, 1, 2, 2},
        {"Chords feeds the words guess", {"Chords", "Bass"}, 2, 1, 1},
        {"LYRICS in capitals is no guess", {"Piano", "LYRICS"}, 2, 2, -2},
        {"the later of two lyrics tracks wins", {"Lyrics", "Lyrics 2", "Bass"}, 1, 2, 1},
        {"a lyrics guess beats a words guess", {"Lyrics", "Words"}, 1, 1, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        std::vector<std::string> bodies = {Track("", row.lyrics_track == 0 ? kLyrics : "")};
        for (size_t i = 0; i < row.names.size(); ++i) {
            const bool here = static_cast<int>(i) + 1 == row.lyrics_track;
            bodies.push_back(Track(row.names[i], here ? kLyrics : ""));
        }
        std::string bytes = test::SmfHeader(1, static_cast<int>(bodies.size()), 96);
        for (const std::string& b : bodies) bytes += test::Chunk("MTrk", b);
        MidiFile song = SongOf(bytes);

        Fixture f;
        f.lyr_copy.script = [](ScriptedConversionDialog& d) { d.ClickCancel(); };
        EXPECT_FALSE(f.Run(song));

        std::vector<std::string> expected = {""};
        expected.insert(expected.end(), row.names.begin(), row.names.end());
        EXPECT_EQ(f.lyr_copy.seen.tracks, expected);
        expected.push_back("NEW TRACK");
        EXPECT_EQ(f.lyr_copy.seen.tracks2, expected);
        EXPECT_EQ(f.lyr_copy.seen.selected, row.tracks);
        const int new_track = static_cast<int>(row.names.size()) + 1;
        EXPECT_EQ(f.lyr_copy.seen.selected2, row.tracks2 == -2 ? new_track : row.tracks2);
    }
}

TEST(ConvertLyricsPreselection, FormatZeroOffersTrackZeroNamedOrNot) {
    for (const std::string name : {"", "Lyrics", "Song"}) {
        SCOPED_TRACE(name);
        MidiFile song = SongOf(Smf(0, 96, {Track(name, kLyrics)}));
        Fixture f;
        f.lyr_copy.script = [](ScriptedConversionDialog& d) { d.ClickCancel(); };
        f.Run(song);
        EXPECT_EQ(f.lyr_copy.seen.tracks, std::vector<std::string>{name});
        EXPECT_EQ(f.lyr_copy.seen.tracks2, (std::vector<std::string>{name, "NEW TRACK"}));
        EXPECT_EQ(f.lyr_copy.seen.selected, 0);
        // A name guess keeps the default second-list entry, no guess picks "NEW TRACK".
        EXPECT_EQ(f.lyr_copy.seen.selected2, name == "Lyrics" ? 0 : 1);
    }
}

TEST(ConvertLyricsPreselection, WithoutANameGuessTheFirstTrackWithWordsIsChosen) {
    // Karaoke text in track 2 only.
    MidiFile text_only = SongOf(Smf(1, 96, {Track(""), Track("Piano"), Track("Bass", kText)}));
    Fixture f;
    f.lyr_copy.script = [](ScriptedConversionDialog& d) { d.ClickCancel(); };
    f.Run(text_only);
    EXPECT_EQ(f.lyr_copy.seen.selected, 2);

    MidiFile both = SongOf(
        Smf(1, 96, {Track(""), Track("Piano"), Track("Bass", kText), Track("Gtr", kLyrics)}));
    f.Run(both);
    EXPECT_EQ(f.lyr_copy.seen.selected, 3) << "lyric events come first";

    MidiFile most = SongOf(
        Smf(1, 96, {Track(""), Track("Piano", Hex("00 FF 05 02 'la'")), Track("Bass", kLyrics)}));
    f.Run(most);
    EXPECT_EQ(f.lyr_copy.seen.selected, 2) << "the track with the most lyric events";
}

TEST(ConvertLyricsEnabling, ButtonsFollowTheMaterialAndNothingGivesTheMessage) {
    struct Row {
        const char* what;
        std::string events;
        bool karaoke_to_lyrics, lyrics_to_text;
    };
    const std::vector<Row> rows = {
        {"lyrics only", kLyrics, false, true},
        {"karaoke text only", kText, true, false},
        {"both", kLyrics + kText, true, true},
        {"a text event that is no karaoke still counts", Hex("00 FF 01 04 'Solo'"), true, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        MidiFile song = SongOf(Smf(1, 96, {Track(""), Track("Piano", row.events)}));
        Fixture f;
        f.lyr_copy.script = [](ScriptedConversionDialog& d) { d.ClickCancel(); };
        EXPECT_FALSE(f.Run(song));
        EXPECT_EQ(f.lyr_copy.shown, 1);
        EXPECT_EQ(f.lyr_copy.seen.command1, row.karaoke_to_lyrics);
        EXPECT_EQ(f.lyr_copy.seen.command2, row.lyrics_to_text);
        EXPECT_TRUE(f.host.messages.empty());
    }

    // Neither: the message, no dialog, false; empty texts do not count.
    MidiFile none =
        SongOf(Smf(1, 96, {Track("Lyrics"), Track("Words", Hex("00 FF 01 00 00 FF 05 00"))}));
    Fixture f;
    EXPECT_FALSE(f.Run(none));
    EXPECT_EQ(f.host.messages, std::vector<std::string>{"No Text or Lyric events were found."});
    EXPECT_EQ(f.lyr_copy.shown, 0);
    EXPECT_FALSE(f.lyr_copy.command1);
    EXPECT_FALSE(f.lyr_copy.command2);
    EXPECT_TRUE(f.host.cursor_calls.empty());
}

TEST(ConvertLyricsCancel, ReturnsFalseLeavesTheSongAndUnloadsTheDialog) {
    MidiFile song = SongOf(Smf(1, 96, {Track(""), Track("Words", kLyrics + kText)}));
    const std::string before = EncodeMidiFile(song);
    Fixture f;
    // An earlier conversion click left its indices; the user clears the check box.
    f.lyr_copy.Choice = kChoiceKaraokeToLyrics;
    f.lyr_copy.FromIndex = 7;
    f.lyr_copy.AfterIndex = 9;
    f.lyr_copy.script = [](ScriptedConversionDialog& d) {
        d.keep_kar = false;
        d.ClickCancel();
    };
    EXPECT_FALSE(f.Run(song));
    EXPECT_EQ(EncodeMidiFile(song), before);
    EXPECT_EQ(f.lyr_copy.unloads, 1);
    EXPECT_TRUE(f.lyr_copy.keep_kar) << "unloading brings the check box back";
    EXPECT_EQ(f.lyr_copy.Choice, kChoiceCancel);
    EXPECT_EQ(f.lyr_copy.FromIndex, 7);
    EXPECT_EQ(f.lyr_copy.AfterIndex, 9);
    EXPECT_EQ(f.kar_inf.shown, 0);
    EXPECT_TRUE(f.host.cursor_calls.empty());
}

TEST(ConvertLyricsRun, LyricsToTextTakesTheInformationUnderTheWaitCursor) {
    MidiFile song = SongOf(Smf(1, 96, {Track("Tempo"), Track("Piano"), Track("Lyrics", kLyrics)}));
    Fixture f;
    f.lyr_copy.script = [](ScriptedConversionDialog& d) { d.ClickLyricsToText(); };
    bool waiting_while_asked = false;
    f.kar_inf.script = [&](ScriptedInfoDialog& d) {
        waiting_while_asked = f.host.waiting;
        d.lang = " GERM ";  // handed over untrimmed
        d.title = "Stille Nacht";
        d.artist = "Gruber";
    };
    EXPECT_TRUE(f.Run(song));
    EXPECT_EQ(f.lyr_copy.FromIndex, 2);
    EXPECT_EQ(f.kar_inf.shown, 1);
    EXPECT_TRUE(waiting_while_asked);
    EXPECT_EQ(f.host.cursor_calls, (std::vector<bool>{true, false}));
    EXPECT_EQ(f.lyr_copy.unloads, 0);

    // The Soft Karaoke pair follows track 0; the lyrics track moved to 4.
    ASSERT_EQ(song.Header.NumTracks, 5);
    EXPECT_EQ(MetaTexts(song, 1, kMetaTrackName), std::vector<std::string>{"Soft Karaoke"});
    EXPECT_EQ(MetaTexts(song, 2, kMetaTrackName), std::vector<std::string>{"Words"});
    std::vector<std::string> words = MetaTexts(song, 2, kMetaText);
    ASSERT_GE(words.size(), 3u);
    EXPECT_EQ(words[0], "@LGERM");
    EXPECT_EQ(words[1], "@TStille Nacht");
    EXPECT_EQ(words[2], "@TGruber");
    EXPECT_EQ(MetaTexts(song, 4, kMetaTrackName), std::vector<std::string>{"Lyrics"});
    EXPECT_EQ(MetaTexts(song, 4, kMetaLyric).size(), 3u);
}

TEST(ConvertLyricsRun, KaraokeToLyricsInPlaceOrBesideByTheCheckBox) {
    for (bool keep : {true, false}) {
        SCOPED_TRACE(keep ? "keep" : "replace");
        MidiFile song = SongOf(Smf(1, 96, {Track(""), Track("Words", kText)}));
        Fixture f;
        f.lyr_copy.script = [keep](ScriptedConversionDialog& d) {
            d.keep_kar = keep;
            d.ClickKaraokeToLyrics();
        };
        EXPECT_TRUE(f.Run(song));
        EXPECT_EQ(f.kar_inf.shown, 0);
        EXPECT_EQ(MetaTexts(song, 1, kMetaLyric).size(), 3u);
        EXPECT_EQ(MetaTexts(song, 1, kMetaText).size(), keep ? 3u : 0u);
        EXPECT_EQ(f.host.cursor_calls, (std::vector<bool>{true, false}));
    }
}

TEST(ConvertLyricsRun, FormatZeroLyricsBecomeKaraokeText) {
    MidiFile song = SongOf(Smf(0, 96, {Track("", kLyrics)}));
    Fixture f;
    f.lyr_copy.script = [](ScriptedConversionDialog& d) { d.ClickLyricsToText(); };
    EXPECT_TRUE(f.Run(song));
    EXPECT_EQ(f.lyr_copy.FromIndex, 0);
    ASSERT_EQ(song.Header.NumTracks, 3);
    std::vector<std::string> words = MetaTexts(song, 2, kMetaText);
    EXPECT_GT(words.size(), 3u) << "the syllables follow the information lines";
    EXPECT_EQ(MetaTexts(song, 0, kMetaLyric).size(), 3u) << "track 0 keeps its lyrics";
}

// Values that live for the whole run: the dialogs keep what the user set
// after a conversion, the driver never resets them.
TEST(ConvertLyricsPersistence, ValuesSurviveBetweenCallsInOneRun) {
    Fixture f;
    // First use: keep box cleared, texts typed.
    MidiFile first = SongOf(Smf(1, 96, {Track(""), Track("Lyrics", kLyrics)}));
    f.lyr_copy.script = [](ScriptedConversionDialog& d) {
        d.keep_kar = false;
        d.ClickLyricsToText();
    };
    f.kar_inf.script = [](ScriptedInfoDialog& d) { d.title = "Typed"; };
    ASSERT_TRUE(f.Run(first));

    // Second use: the box is still cleared and the typed title still there.
    MidiFile second = SongOf(Smf(1, 96, {Track(""), Track("Lyrics", kLyrics)}));
    bool keep_seen = true;
    std::string title_seen;
    f.lyr_copy.script = [&](ScriptedConversionDialog& d) {
        keep_seen = d.keep_kar;
        d.ClickLyricsToText();
    };
    f.kar_inf.script = [&](ScriptedInfoDialog& d) { title_seen = d.title; };
    ASSERT_TRUE(f.Run(second));
    EXPECT_FALSE(keep_seen);
    EXPECT_EQ(title_seen, "Typed");
    EXPECT_EQ(MetaTexts(second, 2, kMetaText).at(1), "@TTyped");

    // The information dialog closed from its title bar: its defaults are used.
    MidiFile third = SongOf(Smf(1, 96, {Track(""), Track("Lyrics", kLyrics)}));
    f.kar_inf.script = [](ScriptedInfoDialog& d) { d.CloseFromTitleBar(); };
    ASSERT_TRUE(f.Run(third));
    EXPECT_EQ(MetaTexts(third, 2, kMetaText).at(1), "@TYOUR SONG");
}

TEST(ConvertLyricsPersistence, DialogClosedWithoutAButtonActsOnTheLastClick) {
    // Before any click in this run: no conversion, but true.
    MidiFile song = SongOf(Smf(1, 96, {Track(""), Track("Words", kText)}));
    const std::string before = EncodeMidiFile(song);
    Fixture f;
    EXPECT_TRUE(f.Run(song));
    EXPECT_EQ(EncodeMidiFile(song), before);
    EXPECT_EQ(f.host.cursor_calls, (std::vector<bool>{true, false}));

    // After a karaoke-to-lyrics click: the same conversion again, on the
    // track of that click.
    f.lyr_copy.Choice = kChoiceKaraokeToLyrics;
    f.lyr_copy.FromIndex = 1;
    f.lyr_copy.keep_kar = false;
    EXPECT_TRUE(f.Run(song));
    EXPECT_EQ(MetaTexts(song, 1, kMetaLyric).size(), 3u);
    EXPECT_TRUE(MetaTexts(song, 1, kMetaText).empty());

    // A track that the song does not have: the converter's error reaches the
    // caller, and the wait cursor is back all the same.
    f.lyr_copy.FromIndex = 50;
    f.host.cursor_calls.clear();
    EXPECT_THROW(f.Run(song), RuntimeError);
    EXPECT_EQ(f.host.cursor_calls, (std::vector<bool>{true, false}));

    // No selection (-1) works on track 0.
    MidiFile zero = SongOf(Smf(0, 96, {Track("", kText)}));
    f.lyr_copy.FromIndex = -1;
    EXPECT_TRUE(f.Run(zero));
    EXPECT_EQ(MetaTexts(zero, 0, kMetaLyric).size(), 3u);
}

}  // namespace
}  // namespace verselane
