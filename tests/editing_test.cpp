// The timing editor's core: the timed words of a song, every edit with its
// inverse on made songs in both streams, random edits undone and redone on
// real songs byte for byte, and tap snapping over the corpus.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "editing/timed_words.h"
#include "lyrics/converters.h"
#include "lyrics/track_choice.h"
#include "reader/midi_reader.h"
#include "tests/support/lyrics_fixtures.h"
#include "writer/midi_writer.h"

namespace verselane::editing {
namespace {

using namespace test;

MidiFile Read(const std::string& bytes) {
    MidiFile song;
    ResetMidiFile(song);
    const ReadOutcome read = ReadMidiBytes(song, bytes);
    EXPECT_EQ(read.Result, ReadResult::Complete) << read.Message();
    return song;
}

MidiEvent NoteOff(int32_t time, uint8_t key) {
    return MidiEvent{time, 0, 0, key, 0, {}};
}

// Two lines on a melody of a note every 480 ticks (0 to 3360), the lyrics
// beside the notes in the melody's track.
MidiFile LyricSong() {
    std::vector<MidiEvent> melody = {Name("Melody")};
    const std::vector<std::pair<int32_t, std::string>> lyrics = {
        {0, "Hel"}, {480, "lo "}, {960, "world\r"}, {1920, "Sec"}, {2400, "ond "}, {2880, "line"}};
    size_t next = 0;
    for (int32_t tick = 0; tick <= 3360; tick += 480) {
        while (next < lyrics.size() && lyrics[next].first == tick)
            melody.push_back(Lyric(tick, lyrics[next++].second));
        melody.push_back(NoteOn(tick, static_cast<uint8_t>(60 + tick / 480)));
        melody.push_back(NoteOff(tick + 400, static_cast<uint8_t>(60 + tick / 480)));
    }
    melody.push_back(EndOfTrack(3760));
    return Read(EncodeMidiFile(SongOf({{Tempo(0, 500000), EndOfTrack(0)}, melody})));
}

// The same song with Soft Karaoke text made beside its lyric events.
MidiFile BothStreamsSong() {
    MidiFile song = LyricSong();
    int16_t track = 1;
    LyricsToKaraoke(song, track, {"ENGL", "Test", "", ""}, true);
    return Read(EncodeMidiFile(song));
}

// "¶Hel@0-lo@480 world@960/Sec@1920": ¶ a paragraph, / a line, a space a
// word, - a syllable inside a word.
std::string Show(const std::vector<TimedSyllable>& syllables) {
    std::string out;
    for (const TimedSyllable& s : syllables) {
        out += s.ParagraphStart ? "¶" : s.LineStart ? "/" : s.WordStart ? " " : "-";
        out += s.Text + "@" + std::to_string(s.Tick);
    }
    return out;
}

// Both streams of a song shown, lyric events first.
std::string ShowStreams(const MidiFile& song) {
    std::string out = Show(TimedWords(song, LineSource::Lyrics).Syllables());
    if (PreferredLineSource(song) == LineSource::Karaoke)
        out += " | " + Show(TimedWords(song, LineSource::Karaoke).Syllables());
    return out;
}

// Every track in tick order: what the writer needs for right delta times.
void ExpectInOrder(const MidiFile& song) {
    for (int16_t t = 0; t < song.Header.NumTracks; ++t)
        for (int32_t i = 1; i < song.Count(t); ++i)
            ASSERT_LE(song.Track(t).Event(i - 1).Time, song.Track(t).Event(i).Time)
                << "track " << t << " event " << i;
}

struct EditRow {
    const char* Name;
    Edit Change;
    const char* Expected;  // the words after it; empty: as the song had them
};

const std::string kStart = "¶Hel@0-lo@480 world@960/Sec@1920-ond@2400 line@2880";

std::vector<EditRow> EditRows() {
    return {
        {"move to a tick", Edit::MoveTo(1, 720),
         "¶Hel@0-lo@720 world@960/Sec@1920-ond@2400 line@2880"},
        {"move onto the next syllable's tick", Edit::MoveTo(1, 960),
         "¶Hel@0-lo@960 world@960/Sec@1920-ond@2400 line@2880"},
        {"previous note", Edit::MoveToNote(3, -1),
         "¶Hel@0-lo@480 world@960/Sec@1440-ond@2400 line@2880"},
        {"next note", Edit::MoveToNote(5, 1),
         "¶Hel@0-lo@480 world@960/Sec@1920-ond@2400 line@3360"},
        {"nudge back a grid step", Edit::Nudge(4, -120),
         "¶Hel@0-lo@480 world@960/Sec@1920-ond@2280 line@2880"},
        {"several together", Edit::MoveSeveral({3, 4, 5}, 480),
         "¶Hel@0-lo@480 world@960/Sec@2400-ond@2880 line@3360"},
        {"several back", Edit::MoveSeveral({1, 2}, -240),
         "¶Hel@0-lo@240 world@720/Sec@1920-ond@2400 line@2880"},
        {"split", Edit::Split(2, 3), "¶Hel@0-lo@480 wor@960-ld@960/Sec@1920-ond@2400 line@2880"},
        {"merge", Edit::MergeNext(0), "¶Hello@0 world@960/Sec@1920-ond@2400 line@2880"},
        {"merge over a line end", Edit::MergeNext(2),
         "¶Hel@0-lo@480 worldSec@960-ond@2400 line@2880"},
        {"set text", Edit::SetText(2, "earth"),
         "¶Hel@0-lo@480 earth@960/Sec@1920-ond@2400 line@2880"},
        {"hold over the next note", Edit::Hold(0),
         "¶Hel@0-lo@960 world@1440/Sec@1920-ond@2400 line@2880"},
        {"hold pushes the one after", Edit::Hold(3),
         "¶Hel@0-lo@480 world@960/Sec@1920-ond@2880 line@3360"},
        {"skip a note", Edit::SkipNote(2), "¶Hel@0-lo@480 world@1440/Sec@1920-ond@2400 line@2880"},
        {"start a line", Edit::StartLine(1), "¶Hel@0/lo@480 world@960/Sec@1920-ond@2400 line@2880"},
        {"start a paragraph", Edit::StartParagraph(3),
         "¶Hel@0-lo@480 world@960¶Sec@1920-ond@2400 line@2880"},
        {"join a line", Edit::JoinLine(3), "¶Hel@0-lo@480 world@960 Sec@1920-ond@2400 line@2880"},
        {"delete inside a word", Edit::Delete(1), "¶Hel@0 world@960/Sec@1920-ond@2400 line@2880"},
        {"delete a line's last", Edit::Delete(2), "¶Hel@0-lo@480/Sec@1920-ond@2400 line@2880"},
        {"delete a line's first", Edit::Delete(3), "¶Hel@0-lo@480 world@960/ond@2400 line@2880"},
        {"delete the last", Edit::Delete(5), "¶Hel@0-lo@480 world@960/Sec@1920-ond@2400"},
        {"insert at a line's end", Edit::Insert(3, "big", 1440),
         "¶Hel@0-lo@480 world@960 big@1440/Sec@1920-ond@2400 line@2880"},
        {"insert at the end", Edit::Insert(6, "end", 3360),
         "¶Hel@0-lo@480 world@960/Sec@1920-ond@2400 line@2880 end@3360"},
        {"insert past the end of track", Edit::Insert(6, "far", 5000),
         "¶Hel@0-lo@480 world@960/Sec@1920-ond@2400 line@2880 far@5000"},
        {"drag alone", Edit::Drag(4, 2500, true),
         "¶Hel@0-lo@480 world@960/Sec@1920-ond@2500 line@2880"},
        {"drag re-aligns its line", Edit::Drag(5, 3360),
         "¶Hel@0-lo@480 world@960/Sec@1440-ond@2880 line@3360"},
        {"drag the line start back", Edit::Drag(3, 1440),
         "¶Hel@0-lo@480 world@960/Sec@1440-ond@1920 line@2400"},
        {"realign two lines", Edit::Realign({{0, 480}, {3, 2400}}),
         "¶Hel@480-lo@960 world@1440/Sec@2400-ond@2880 line@3360"},
    };
}

class EditTable : public ::testing::TestWithParam<bool> {};

// Every edit in a song with lyric events alone, and in one with karaoke text
// beside them (which the words box shows, the lyrics following): the words
// come out as expected in each stream, undo gives the song back byte for
// byte, redo the edited song.
TEST_P(EditTable, EditsUndoAndRedo) {
    const bool both = GetParam();
    const MidiFile start_song = both ? BothStreamsSong() : LyricSong();
    const std::string start = EncodeMidiFile(start_song);
    for (const EditRow& row : EditRows()) {
        SCOPED_TRACE(row.Name);
        TimedWords words(start_song);
        ASSERT_EQ(words.Other(), both ? OtherStream::Follows : OtherStream::None);
        ASSERT_EQ(ShowStreams(words.Song()), both ? kStart + " | " + kStart : kStart);
        const Edit undo = words.Apply(row.Change);
        ExpectInOrder(words.Song());
        EXPECT_EQ(Show(words.Syllables()), row.Expected);
        const std::string shown = ShowStreams(words.Song());
        EXPECT_EQ(shown, both ? std::string(row.Expected) + " | " + row.Expected : row.Expected);
        const std::string edited = EncodeMidiFile(words.Song());
        const Edit redo = words.Apply(undo);
        EXPECT_EQ(EncodeMidiFile(words.Song()), start);
        words.Apply(redo);
        EXPECT_EQ(EncodeMidiFile(words.Song()), edited);
    }
}

INSTANTIATE_TEST_SUITE_P(Streams, EditTable, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Both" : "LyricsAlone"; });

// Edits that cannot be made say why and leave the song as it was.
TEST(Editing, RefusedEditsChangeNothing) {
    const struct {
        Edit Change;
        const char* Message;
    } rows[] = {
        {Edit::MoveTo(1, 1000), "cannot pass the syllable after it"},
        {Edit::MoveTo(1, -5), "outside the song"},
        {Edit::MoveTo(9, 0), "there is no syllable 10 (the song has 6)"},
        {Edit::MoveToNote(0, -1), "no melody note before tick 0"},
        {Edit::MoveToNote(5, 3), "no melody note after tick 3360"},
        {Edit::MoveSeveral({1}, 600), "would go before the syllable ahead of it"},
        {Edit::Split(0, 0), "text on both sides"},
        {Edit::Split(0, 3), "text on both sides"},
        {Edit::MergeNext(5), "the last syllable has none after it"},
        {Edit::SetText(0, "a\rb"), "line end"},
        {Edit::SetText(0, " a"), "without line ends or spaces around it"},
        {Edit::SetText(0, ""), "something to sing"},
        {Edit::StartLine(0), "always starts a line"},
        {Edit::Insert(3, "x", 100), "before the syllable ahead of it"},
        {Edit::Insert(7, "x", 100), "no syllable 8 to insert before"},
        {Edit::Realign({{1, 900}, {2, 500}}), "pins go back in time"},
        {Edit::Realign({{4, 500}}), "goes past the line before it"},
        {Edit::Realign({{1, 2000}}), "goes past the line after it"},
        {Edit::Realign({}), "no pins"},
        {Edit::Drag(3, 3000, true), "cannot pass the syllable after it"},
    };
    const MidiFile song = BothStreamsSong();
    const std::string start = EncodeMidiFile(song);
    TimedWords words(song);
    for (const auto& row : rows) {
        try {
            words.Apply(row.Change);
            ADD_FAILURE() << "no error for: " << row.Message;
        } catch (const EditError& e) {
            EXPECT_NE(std::string(e.what()).find(row.Message), std::string::npos) << e.what();
        }
        EXPECT_EQ(EncodeMidiFile(words.Song()), start) << row.Message;
        EXPECT_EQ(Show(words.Syllables()), kStart);
    }
}

// Karaoke text with other words than the lyric events is left alone, and
// the words say so.
TEST(Editing, DifferentWordsInTheOtherStreamStayAlone) {
    MidiFile song = BothStreamsSong();
    const TimedSyllable first = TimedWords(song, LineSource::Karaoke).Syllables()[0];
    song.Track(first.Track).Event(first.Event).Data = ByteString("\\Jel");
    TimedWords words(song);
    ASSERT_EQ(words.Source(), LineSource::Karaoke);
    EXPECT_EQ(words.Other(), OtherStream::Different);
    words.Apply(Edit::MoveTo(1, 600));
    EXPECT_EQ(Show(TimedWords(words.Song(), LineSource::Lyrics).Syllables()), kStart);
    EXPECT_EQ(Show(words.Syllables()), "¶Jel@0-lo@600 world@960/Sec@1920-ond@2400 line@2880");
}

TEST(Editing, OpeningFindsWordsNotesAndDoubts) {
    MidiFile song = LyricSong();
    TimedWords plain(song);
    EXPECT_EQ(plain.Melody().size(), 8u);
    EXPECT_EQ(plain.MelodyTrack(), 1);
    EXPECT_EQ(plain.LineOf(4), (std::pair<size_t, size_t>{3, 6}));
    EXPECT_EQ(plain.Syllables()[4].Note, 5);
    EXPECT_DOUBLE_EQ(plain.Seconds(960), 1.0);
    for (const DoubtMark& d : plain.Doubts()) EXPECT_NE(d.Reason, align::Doubt::OffNote);
    plain.Apply(Edit::Nudge(4, 100));
    TimedWords moved(plain.Song());
    ASSERT_FALSE(moved.Doubts().empty());
    EXPECT_EQ(moved.Syllables()[4].Note, -1);
    bool off_note = false;
    for (const DoubtMark& d : moved.Doubts())
        off_note |= d.Syllable == 4 && d.Reason == align::Doubt::OffNote;
    EXPECT_TRUE(off_note);
    EXPECT_GT(*moved.NextDoubt(3), 3u);
    EXPECT_EQ(moved.NextDoubt(moved.Doubts().back().Syllable), moved.Doubts().front().Syllable);

    const MidiFile none = Read(EncodeMidiFile(SongOf({{Name("x"), EndOfTrack(0)}})));
    EXPECT_THROW(TimedWords{none}, EditError);
}

// Saving: lyric events alone made into Soft Karaoke text as the conversion
// makes it, the edit kept.
TEST(Editing, SavesTheStreamsAsked) {
    TimedWords words(LyricSong());
    words.Apply(Edit::MoveTo(1, 720));
    const MidiFile both = words.SongToSave(SaveAs::Both);
    EXPECT_EQ(ShowStreams(both),
              "¶Hel@0-lo@720 world@960/Sec@1920-ond@2400 line@2880 | "
              "¶Hel@0-lo@720 world@960/Sec@1920-ond@2400 line@2880");
    const MidiFile karaoke = words.SongToSave(SaveAs::Karaoke);
    EXPECT_EQ(Show(TimedWords(karaoke, LineSource::Karaoke).Syllables()),
              "¶Hel@0-lo@720 world@960/Sec@1920-ond@2400 line@2880");
    EXPECT_THROW(TimedWords(karaoke, LineSource::Lyrics), EditError);
    EXPECT_EQ(EncodeMidiFile(words.SongToSave(SaveAs::Lyrics)), EncodeMidiFile(words.Song()));
}

// The edits the random walk draws from, for syllable i of n.
Edit RandomEdit(std::mt19937& random, const TimedWords& words) {
    const size_t n = words.Count();
    auto pick = [&](size_t bound) {
        return std::uniform_int_distribution<size_t>(0, bound - 1)(random);
    };
    const size_t i = pick(n);
    const TimedSyllable& s = words.Syllables()[i];
    const int32_t low = i > 0 ? words.Syllables()[i - 1].Tick : 0;
    const int32_t high = i + 1 < n ? words.Syllables()[i + 1].Tick : s.Tick + 960;
    auto between = [&] {
        return std::uniform_int_distribution<int32_t>(low, std::max(low, high))(random);
    };
    switch (pick(16)) {
        case 0:
            return Edit::MoveTo(i, between());
        case 1:
            return Edit::MoveToNote(i, pick(2) ? 1 : -1);
        case 2:
            return Edit::Nudge(i, pick(2) ? 60 : -60);
        case 3: {
            std::vector<size_t> selection = {i};
            if (i + 1 < n) selection.push_back(i + 1);
            return Edit::MoveSeveral(selection, pick(2) ? 30 : -30);
        }
        case 4:
            return Edit::Split(i, s.Text.size() > 1 ? 1 + pick(s.Text.size() - 1) : 1);
        case 5:
            return Edit::MergeNext(i);
        case 6:
            return Edit::SetText(i, s.Text + "a");
        case 7:
            return Edit::Hold(i);
        case 8:
            return Edit::SkipNote(i);
        case 9:
            return Edit::StartLine(i);
        case 10:
            return Edit::StartParagraph(i);
        case 11:
            return Edit::JoinLine(i);
        case 12:
            return Edit::Delete(i);
        case 13:
            return Edit::Insert(i, "ins", between());
        case 14:
            return Edit::Drag(i, between(), pick(2) == 0);
        default: {
            const auto [begin, end] = words.LineOf(i);
            return Edit::Drag(begin, between());
        }
    }
}

// 10,000 random edits over real songs, each undone in turn (the song comes
// back byte for byte) and redone (the edited song again). The other stream,
// where it follows, keeps the same words throughout.
TEST(EditingCorpus, TenThousandEditsUndoneAndRedone) {
    std::vector<std::filesystem::path> files = CorpusFiles();
    if (files.empty()) {
        if (CorpusRequired()) FAIL() << "the corpus is missing";
        GTEST_SKIP() << "the corpus is missing: set VERSELANE_CORPUS";
    }
    std::mt19937 random(20261207);
    size_t applied = 0, refused = 0, songs = 0, following = 0;
    const size_t kEdits = 10000, kPerSong = 250;
    // The second pass gives the songs with lyric events alone Soft Karaoke
    // text beside them, so that the other stream follows every edit.
    for (size_t n = 0; n < 2 * files.size() && applied < kEdits; ++n) {
        const auto& file = files[n % files.size()];
        MidiFile song = ReadSong(file);
        if (n >= files.size()) {
            if (PreferredLineSource(song) != LineSource::Lyrics) continue;
            int16_t track = ChooseSourceTrack(song, ConversionDirection::LyricsToKaraoke);
            if (track < 0) continue;
            LyricsToKaraoke(song, track, {"ENGL", "", "", ""}, true);
            song = Read(EncodeMidiFile(song));
        }
        std::optional<TimedWords> opened;
        try {
            opened.emplace(song);
        } catch (const EditError&) {
            continue;
        }
        if (opened->Count() < 8) continue;
        TimedWords& words = *opened;
        ++songs;
        if (words.Other() == OtherStream::Follows) ++following;
        const std::string start = EncodeMidiFile(words.Song());
        std::vector<Edit> undo;
        while (undo.size() < kPerSong && applied < kEdits) {
            const Edit edit = RandomEdit(random, words);
            try {
                undo.push_back(words.Apply(edit));
                ++applied;
            } catch (const EditError&) {
                ++refused;
            }
        }
        ExpectInOrder(words.Song());
        if (words.Other() == OtherStream::Follows) {
            const LineSource other =
                words.Source() == LineSource::Lyrics ? LineSource::Karaoke : LineSource::Lyrics;
            std::vector<std::string> ours, theirs;
            for (const auto& s : words.Syllables())
                ours.push_back(s.Text + "@" + std::to_string(s.Tick));
            const TimedWords other_words(words.Song(), other);
            for (const auto& s : other_words.Syllables())
                theirs.push_back(s.Text + "@" + std::to_string(s.Tick));
            EXPECT_EQ(ours, theirs) << file;
        }
        const std::string end = EncodeMidiFile(words.Song());
        std::vector<Edit> redo;
        for (auto it = undo.rbegin(); it != undo.rend(); ++it) redo.push_back(words.Apply(*it));
        ASSERT_EQ(EncodeMidiFile(words.Song()), start) << file;
        for (auto it = redo.rbegin(); it != redo.rend(); ++it) words.Apply(*it);
        ASSERT_EQ(EncodeMidiFile(words.Song()), end) << file;
    }
    std::cout << "edits applied " << applied << ", refused " << refused << ", songs " << songs
              << " (" << following << " with both streams)\n";
    EXPECT_EQ(applied, kEdits);
}

// Simulated taps ±60 ms around each syllable that starts on a melody note,
// heard 80 ms late, at full and half speed: the share that lands on the
// intended note.
TEST(EditingCorpus, TapsSnapToTheIntendedNote) {
    std::vector<std::filesystem::path> files = CorpusFiles();
    if (files.empty()) {
        if (CorpusRequired()) FAIL() << "the corpus is missing";
        GTEST_SKIP() << "the corpus is missing: set VERSELANE_CORPUS";
    }
    std::mt19937 random(7);
    std::uniform_real_distribution<double> jitter(-0.060, 0.060);
    const double latency = 0.080;
    for (const double speed : {1.0, 0.75, 0.5}) {
        size_t taps = 0, hits = 0;
        for (const auto& file : files) {
            std::optional<TimedWords> words;
            try {
                words.emplace(ReadSong(file));
            } catch (const EditError&) {
                continue;
            }
            const TapSnapper snapper(*words);
            for (const TimedSyllable& s : words->Syllables()) {
                if (s.Note < 0) continue;
                const double tap = words->Seconds(s.Tick) / speed + latency + jitter(random);
                ++taps;
                if (snapper.Snap(tap, speed, latency) == s.Tick) ++hits;
            }
        }
        ASSERT_GT(taps, 1000u);
        const double share = 100.0 * static_cast<double>(hits) / static_cast<double>(taps);
        std::cout << "speed " << speed << ": " << hits << " of " << taps << " taps on their note ("
                  << share << " %)\n";
        if (speed == 1.0) {
            EXPECT_GE(share, 95.0);
        } else if (speed == 0.5) {
            EXPECT_GE(share, 99.0);
        }
    }
}

// Line starts tapped, the rest aligned around them.
TEST(Editing, LineStartTapsPinTheLines) {
    TimedWords words(LyricSong());
    const TapSnapper snapper(words);
    EXPECT_EQ(snapper.Snap(1.0 / 0.5 + 0.1, 0.5, 0.1), 960);
    EXPECT_EQ(snapper.Snap(0.52, 1.0, 0.0), 480);
    EXPECT_EQ(snapper.Snap(0.80, 1.0, 0.0, 0.1), std::nullopt);
    const Edit taps = LineStartTaps(words, snapper, {0.51, 2.49}, 1.0, 0.0);
    ASSERT_EQ(taps.Pins.size(), 2u);
    words.Apply(taps);
    EXPECT_EQ(Show(words.Syllables()), "¶Hel@480-lo@960 world@1440/Sec@2400-ond@2880 line@3360");
}

}  // namespace
}  // namespace verselane::editing
