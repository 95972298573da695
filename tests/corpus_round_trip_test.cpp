// Real songs written by others: every one reads (all of it, or the part
// before each fault) into storage in proportion to the file, writes and reads
// back to the same events, and the writer is a fixed point; an outside parser
// (midicsv) sees the same events in the file and in our copy of it.

#include <map>
#include <sstream>

#include "reader/midi_reader.h"
#include "tests/support/song_checks.h"
#include "tests/support/test_support.h"
#include "writer/midi_writer.h"

namespace verselane::test {
namespace {

namespace fs = std::filesystem;

// midicsv's view of a file: per track, "time kind/channel/data" keys in file
// order. Empty when midicsv does not read the file cleanly.
using Listing = std::vector<std::vector<std::string>>;

const std::map<std::string, std::string> kMidicsvKinds = {
    {"Sequence_number", "M0"},    {"Text_t", "M1"},
    {"Copyright_t", "M2"},        {"Title_t", "M3"},
    {"Instrument_name_t", "M4"},  {"Lyric_t", "M5"},
    {"Marker_t", "M6"},           {"Cue_point_t", "M7"},
    {"Channel_prefix", "M32"},    {"MIDI_port", "M33"},
    {"End_track", "M47"},         {"Tempo", "M81"},
    {"SMPTE_offset", "M84"},      {"Time_signature", "M88"},
    {"Key_signature", "M89"},     {"Sequencer_specific", "M127"},
    {"System_exclusive", "S240"}, {"System_exclusive_packet", "S247"},
    {"Note_off_c", "C0"},         {"Note_on_c", "C1"},
    {"Poly_aftertouch_c", "C2"},  {"Control_c", "C3"},
    {"Program_c", "C4"},          {"Channel_aftertouch_c", "C5"},
    {"Pitch_bend_c", "C6"},
};

std::string KeyOf(const MidiEvent& e) {
    std::string key = std::to_string(e.Time) + " ";
    if (e.Kind == kKindMeta) return key + "M" + std::to_string(e.Channel);
    if (e.Kind > 6) return key + "S" + std::to_string(e.Kind);
    const bool bend = e.Kind == 6;
    return key + "C" + std::to_string(e.Kind) + "/" + std::to_string(e.Channel) + "/" +
           std::to_string(bend ? e.Data2 * 128 + e.Data1 : e.Data1) + "/" +
           std::to_string(bend ? 0 : e.Data2);
}

Listing Midicsv(const fs::path& path) {
    std::string out;
    if (RunCommand("midicsv '" + path.string() + "' 2>&1", &out) != 0) return {};
    Listing tracks;
    std::istringstream lines(out);
    bool open = false;
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> f;
        std::istringstream fields(line);
        for (std::string field; std::getline(fields, field, ',');)
            f.push_back(field.substr(std::min(field.find_first_not_of(' '), field.size())));
        if (f.size() < 3) return {};  // a message of midicsv's, not a record
        if (f[2] == "Header" || f[2] == "End_of_file") continue;
        if (f[2] == "Start_track") {
            tracks.emplace_back();
            open = true;
            continue;
        }
        std::string kind = f[2] == "Unknown_meta_event" ? "M" + f[3] : "";
        if (auto k = kMidicsvKinds.find(f[2]); k != kMidicsvKinds.end()) kind = k->second;
        if (kind.empty() || !open) return {};  // something we do not compare
        if (kind[0] == 'C') {
            kind += "/" + f[3] + "/" + f[4] + "/" + (f.size() > 5 ? f[5] : "0");
        }
        tracks.back().push_back(f[1] + " " + kind);
        open = f[2] != "End_track";
    }
    return open ? Listing{} : tracks;  // a track midicsv did not see the end of
}

// Our events of each track up to its first end of track, as midicsv lists them.
Listing OurListing(const MidiFile& song) {
    Listing tracks(song.Header.NumTracks);
    for (int t = 0; t < song.Header.NumTracks; ++t) {
        for (const MidiEvent& e : EventsOf(song, t)) {
            tracks[t].push_back(KeyOf(e));
            if (e.Kind == kKindMeta && e.Channel == kMetaEndOfTrack) break;
        }
    }
    return tracks;
}

TEST(CorpusRoundTrip, EverySongReadsIntoStorageByItsSizeAndWritesBackTheSame) {
    VERSELANE_REQUIRE_CORPUS();
    int complete = 0;
    for (const fs::path& path : CorpusFiles()) {
        SCOPED_TRACE(path.string());
        MidiFile song;
        ResetMidiFile(song);
        const ReadOutcome read = ReadMidiFile(song, path.string());
        EXPECT_EQ(read.Messages.empty(), read.Result == ReadResult::Complete);
        size_t stored = 0;
        for (const MidiTrack& track : song.Tracks) stored += track.Stored().capacity();
        EXPECT_LE(stored * sizeof(MidiEvent), 16 * fs::file_size(path));
        if (read.SongUsable()) {
            EXPECT_TRUE(WritesAndReadsBack(song));
        }
        complete += read.Result == ReadResult::Complete;
    }
    EXPECT_GE(complete, 50);
}

TEST(CorpusRoundTrip, MidicsvListsTheSameEventsInEverySongAndInOurCopy) {
    VERSELANE_REQUIRE_CORPUS();
    ASSERT_EQ(RunCommand("command -v midicsv >/dev/null"), 0) << "midicsv is not installed";
    TempDir dir;
    int compared = 0;
    for (const fs::path& path : CorpusFiles()) {
        SCOPED_TRACE(path.string());
        std::string message;
        const MidiFile song = ReadSong(path, &message);
        const Listing theirs = Midicsv(path);
        if (!message.empty() || theirs.empty()) continue;
        EXPECT_EQ(OurListing(song), theirs);
        const fs::path copy = dir / "copy.mid";
        ASSERT_EQ(WriteMidiFile(song, copy.string()), "");
        EXPECT_EQ(Midicsv(copy), theirs) << "our copy";
        ++compared;
    }
    EXPECT_GE(compared, 45);
}

}  // namespace
}  // namespace verselane::test
