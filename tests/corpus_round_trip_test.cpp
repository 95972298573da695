// Real songs written by others: every one reads (all of it, or the part
// before each fault) into storage in proportion to the file, writes and reads
// back to the same bytes. Every song read whole is the Standard MIDI File
// inside the file (which may be wrapped in a RIFF "RMID" file or followed by
// bytes of no track: junk, a second copy of the song, a web page), and an
// outside parser, midicsv, lists our copy of it exactly as that MIDI file.
#include "reader/midi_reader.h"
#include "tests/support/test_support.h"
#include "writer/midi_writer.h"

namespace verselane::test {
namespace {

namespace fs = std::filesystem;

size_t Count(const std::string& text, std::string_view word) {
    size_t n = 0;
    for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) ++n;
    return n;
}

TEST(CorpusRoundTrip, EverySongReadsIntoStorageByItsSizeAndWritesBackTheSame) {
    VERSELANE_REQUIRE_CORPUS();
    ASSERT_EQ(RunCommand("command -v midicsv >/dev/null"), 0) << "midicsv is not installed";
    TempDir dir;
    int complete = 0, compared = 0, wrapped = 0;
    for (const fs::path& path : CorpusFiles()) {
        SCOPED_TRACE(path.string());
        MidiFile song;
        ResetMidiFile(song);
        const ReadOutcome read = ReadMidiFile(song, path.string());
        EXPECT_EQ(read.Faults.empty(), read.Result == ReadResult::Complete);
        size_t stored = 0;
        for (const MidiTrack& track : song.Tracks) stored += track.Stored().capacity();
        EXPECT_LE(stored * sizeof(MidiEvent), 16 * fs::file_size(path));
        if (read.SongUsable()) {
            EXPECT_TRUE(WritesAndReadsBack(song));
        }
        if (read.Result != ReadResult::Complete) continue;
        ++complete;
        const std::string whole = ReadAll(path);
        const size_t from = whole.find("MThd");
        WriteAll(dir / "inner.mid", whole.substr(from, TrackChunks(whole, from).back() - from));
        wrapped += fs::file_size(dir / "inner.mid") < whole.size();
        // Every field of every event as midicsv lists it, where it reads the
        // song to the end of each track.
        std::string theirs, ours;
        if (RunCommand("midicsv '" + (dir / "inner.mid").string() + "' 2>&1", &theirs) != 0 ||
            Count(theirs, ", Start_track") != Count(theirs, ", End_track"))
            continue;
        ASSERT_EQ(WriteProblem(WriteMidiFile(song, (dir / "copy.mid").string())), "");
        EXPECT_EQ(RunCommand("midicsv '" + (dir / "copy.mid").string() + "' 2>&1", &ours), 0);
        EXPECT_EQ(ours, theirs);
        ++compared;
    }
    EXPECT_GE(complete, 50);
    EXPECT_GE(compared, 45);
    EXPECT_GE(wrapped, 6) << "three RMID files, three with bytes after the last track";
}

}  // namespace
}  // namespace verselane::test
