// Real songs written by others: every one reads, writes and reads back to the
// same song; the writer is a fixed point; an outside parser (midicsv) sees
// the same events in the file and in our copy of it; damaged files give a
// song or a message.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "codec/midi_codec.h"
#include "reader/midi_reader.h"
#include "tests/song_checks.h"
#include "tests/support/test_support.h"
#include "writer/midi_writer.h"

namespace verselane {
namespace {

namespace fs = std::filesystem;

// The events of slot t as the writer keeps them: an end-of-track body is not
// written, and a track that does not end with one gets it.
std::vector<MidiEvent> Comparable(const MidiFile& song, int t) {
    std::vector<MidiEvent> events = test::EventsOf(song, t);
    auto closing = [](const MidiEvent& e) {
        return e.Kind == kKindMeta && e.Channel == kMetaEndOfTrack;
    };
    int32_t latest = 0;
    for (MidiEvent& e : events) {
        if (closing(e)) e.Data = std::string_view();
        latest = std::max(latest, e.Time);
    }
    if (events.empty() || !closing(events.back())) {
        events.push_back({latest, kKindMeta, kMetaEndOfTrack, 0, 0, {}});
    }
    return events;
}

TEST(CorpusRoundTrip, EverySongReadsBackTheSameAndTheWriterIsAFixedPoint) {
    VERSELANE_REQUIRE_CORPUS();
    int checked = 0;
    for (const fs::path& path : test::CorpusFiles()) {
        SCOPED_TRACE(path.string());
        std::string message;
        MidiFile song = test::ReadSong(path, &message);
        if (!message.empty()) continue;
        std::string written = EncodeMidiFile(song);
        MidiFile back;
        ResetMidiFile(back);
        ASSERT_EQ(ReadMidiBytes(back, written).Message(), "");
        EXPECT_EQ(back.Header.Format, song.Header.Format);
        EXPECT_EQ(back.Header.NumTracks, song.Header.NumTracks);
        EXPECT_EQ(back.Header.Division, song.Header.Division);
        for (int t = 0; t < song.Header.NumTracks; ++t) {
            EXPECT_EQ(Comparable(back, t), Comparable(song, t)) << "track " << t;
        }
        EXPECT_EQ(back.KaraokeText, song.KaraokeText);
        EXPECT_EQ(back.LyricText, song.LyricText);
        EXPECT_EQ(EncodeMidiFile(back), written);
        ++checked;
    }
    EXPECT_GE(checked, 50);
}

// midicsv's view of a file: per track, (time, event) keys in file order.
// Empty when midicsv does not read the file cleanly.
using Listing = std::vector<std::vector<std::string>>;

const std::map<std::string, int> kMetaTypes = {
    {"Sequence_number", 0x00},   {"Text_t", 0x01},
    {"Copyright_t", 0x02},       {"Title_t", 0x03},
    {"Instrument_name_t", 0x04}, {"Lyric_t", 0x05},
    {"Marker_t", 0x06},          {"Cue_point_t", 0x07},
    {"Channel_prefix", 0x20},    {"MIDI_port", 0x21},
    {"End_track", 0x2F},         {"Tempo", 0x51},
    {"SMPTE_offset", 0x54},      {"Time_signature", 0x58},
    {"Key_signature", 0x59},     {"Sequencer_specific", 0x7F},
};
const std::map<std::string, int> kChannelKinds = {
    {"Note_off_c", 0},   {"Note_on_c", 1}, {"Poly_aftertouch_c", 2},
    {"Control_c", 3},    {"Program_c", 4}, {"Channel_aftertouch_c", 5},
    {"Pitch_bend_c", 6},
};

std::string Key(int32_t time, const std::string& what) {
    return std::to_string(time) + " " + what;
}

std::string KeyOf(const MidiEvent& e) {
    if (e.Kind <= 6) {
        int d1 = e.Data1, d2 = e.Data2;
        if (e.Kind == 6) d1 = d2 * 128 + d1, d2 = 0;
        return Key(e.Time, "C" + std::to_string(e.Kind) + "/" + std::to_string(e.Channel) + "/" +
                               std::to_string(d1) + "/" + std::to_string(d2));
    }
    if (e.Kind == kKindMeta) return Key(e.Time, "M" + std::to_string(e.Channel));
    return Key(e.Time, "S" + std::to_string(e.Kind));
}

Listing Midicsv(const fs::path& path) {
    std::string out;
    if (test::RunCommand("midicsv '" + path.string() + "' 2>&1", &out) != 0) return {};
    Listing tracks;
    std::istringstream lines(out);
    std::string line;
    bool open = false;
    while (std::getline(lines, line)) {
        std::vector<std::string> f;
        std::istringstream fields(line);
        std::string field;
        while (std::getline(fields, field, ',')) {
            size_t a = field.find_first_not_of(' ');
            f.push_back(a == std::string::npos ? "" : field.substr(a));
        }
        if (f.size() < 3) return {};  // a message of midicsv's, not a record
        const std::string& type = f[2];
        int32_t time = std::stoi(f[1]);
        if (type == "Start_track") {
            tracks.emplace_back();
            open = true;
            continue;
        }
        if (type == "Header" || type == "End_of_file") continue;
        if (!open) return {};
        if (auto k = kChannelKinds.find(type); k != kChannelKinds.end()) {
            int d1 = std::stoi(f[4]), d2 = f.size() > 5 ? std::stoi(f[5]) : 0;
            tracks.back().push_back(Key(time, "C" + std::to_string(k->second) + "/" + f[3] + "/" +
                                                  std::to_string(d1) + "/" + std::to_string(d2)));
        } else if (auto m = kMetaTypes.find(type); m != kMetaTypes.end()) {
            tracks.back().push_back(Key(time, "M" + std::to_string(m->second)));
            if (type == "End_track") open = false;
        } else if (type == "Unknown_meta_event") {
            tracks.back().push_back(Key(time, "M" + f[3]));
        } else if (type == "System_exclusive") {
            tracks.back().push_back(Key(time, "S240"));
        } else if (type == "System_exclusive_packet") {
            tracks.back().push_back(Key(time, "S247"));
        } else {
            return {};  // something we do not compare
        }
    }
    if (open) return {};  // a track midicsv did not see the end of
    return tracks;
}

// Our events of each track up to its first end of track, as midicsv lists them.
Listing OurListing(const MidiFile& song) {
    Listing tracks;
    for (int t = 0; t < song.Header.NumTracks; ++t) {
        tracks.emplace_back();
        for (const MidiEvent& e : test::EventsOf(song, t)) {
            tracks.back().push_back(KeyOf(e));
            if (e.Kind == kKindMeta && e.Channel == kMetaEndOfTrack) break;
        }
    }
    return tracks;
}

TEST(CorpusRoundTrip, MidicsvListsTheSameEventsAsWeReadAndWrite) {
    VERSELANE_REQUIRE_CORPUS();
    ASSERT_EQ(test::RunCommand("command -v midicsv >/dev/null"), 0) << "midicsv is not installed";
    test::TempDir dir;
    int compared = 0;
    for (const fs::path& path : test::CorpusFiles()) {
        SCOPED_TRACE(path.string());
        std::string message;
        MidiFile song = test::ReadSong(path, &message);
        Listing theirs = Midicsv(path);
        if (!message.empty() || theirs.empty()) continue;
        EXPECT_EQ(OurListing(song), theirs);
        const fs::path copy = dir / "copy.mid";
        ASSERT_EQ(WriteMidiFile(song, copy.string()), "");
        EXPECT_EQ(Midicsv(copy), theirs) << "our copy";
        ++compared;
    }
    EXPECT_GE(compared, 45);
}

// Damaged and unusual files: event storage in proportion to the file, and
// whatever was read (all of it, or the part before each fault) is written as
// a file that reads back whole.
TEST(CorpusRoundTrip, OddFilesWriteWhatWasRead) {
    VERSELANE_REQUIRE_CORPUS();
    for (const fs::path& path : test::CorpusFiles("odd")) {
        SCOPED_TRACE(path.string());
        MidiFile song;
        ResetMidiFile(song);
        const ReadOutcome read = ReadMidiFile(song, path.string());
        EXPECT_EQ(read.Messages.empty(), read.Result == ReadResult::Complete);
        size_t stored = 0;
        for (const MidiTrack& track : song.Tracks) stored += track.Stored().capacity();
        EXPECT_LE(stored * sizeof(MidiEvent), 16 * fs::file_size(path));
        if (read.SongUsable()) {
            EXPECT_TRUE(test::WritesAndReadsBack(song));
        }
    }
}

}  // namespace
}  // namespace verselane
