// Real songs written by others: every one reads (all of it, or the part
// before each fault) into storage in proportion to the file, writes and reads
// back to the same bytes. Every song read whole is the Standard MIDI File
// inside the file (which may be wrapped in a RIFF "RMID" file or followed by
// bytes of no track: junk, a second copy of the song, a web page), and an
// outside parser, midicsv, lists our copy of it exactly as that MIDI file.
// The song model for editing holds every song so that it writes the same
// bytes, also after hundreds of edits undone in reverse order.
#include "model/song.h"
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

std::string Encoded(const Song& song) {
    try {
        return EncodeSong(song);
    } catch (const RuntimeError& error) {
        return std::string("refused: ") + error.what();
    }
}

// Edits of every kind at places drawn from `seed`, each one valid; returns
// their inverses in the order made.
std::vector<EventEdit> EditAtRandom(Song& model, int edits, uint32_t seed) {
    std::vector<EventEdit> inverses;
    auto next = [&](uint32_t below) {
        seed ^= seed << 13, seed ^= seed >> 17, seed ^= seed << 5;
        return static_cast<int32_t>(seed % below);
    };
    for (int n = 0; n < edits && model.TrackCount() > 0; ++n) {
        const auto t = static_cast<int16_t>(next(model.TrackCount()));
        const Track& track = model.Tracks[t];
        if (track.Size() < 2) continue;
        const int32_t i = next(track.Size()), j = next(track.Size());
        const Event& e = track[j];
        const int kind = n % 4;
        const EventEdit edit = kind == 0   ? EventEdit::Move(t, i, e.Tick)
                               : kind == 1 ? EventEdit::Remove(t, i)
                               : kind == 2
                                   ? EventEdit::Insert(t, j + 1, e, track.Body(e))
                                   : EventEdit::Replace(t, j, e, e.HasBody() ? "edited" : "");
        inverses.push_back(model.Apply(edit));
    }
    return inverses;
}

TEST(CorpusRoundTrip, EverySongReadsIntoStorageByItsSizeAndWritesBackTheSame) {
    VERSELANE_REQUIRE_CORPUS();
    ASSERT_EQ(RunCommand("command -v midicsv >/dev/null"), 0) << "midicsv is not installed";
    TempDir dir;
    int complete = 0, compared = 0, wrapped = 0;
    for (const fs::path& path : CorpusFiles()) {
        SCOPED_TRACE(path.string());
        Song model;
        SongFacts facts;
        const ReadOutcome read = ReadSong(model, facts, path.string());
        EXPECT_EQ(read.Faults.empty(), read.Result == ReadResult::Complete);
        size_t stored = 0;
        for (const Track& track : model.Tracks)
            stored += track.Size() * sizeof(Event) + track.PoolBytes();
        EXPECT_LE(stored, 16 * fs::file_size(path));
        if (read.SongUsable()) {
            EXPECT_TRUE(WritesAndReadsBack(model));
            const std::string bytes = Encoded(model);
            const std::vector<EventEdit> inverses = EditAtRandom(model, 400, 2463534242u);
            EXPECT_TRUE(inverses.empty() || Encoded(model) != bytes);
            for (auto it = inverses.rbegin(); it != inverses.rend(); ++it) model.Apply(*it);
            EXPECT_EQ(Encoded(model), bytes);
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
        ASSERT_EQ(WriteProblem(WriteSong(model, (dir / "copy.mid").string())), "");
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
