// Arbitrary bytes through the whole pipeline: read, write, read back and
// compare, convert lyrics both ways on the tracks, write again.
//
// Any crash, sanitizer report, leak, hang or memory blow-up is a finding; so
// is a song that does not come back the same after a write, or a written file
// that the reader refuses.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "cli/outcome_text.h"
#include "fuzz/fuzz_support.h"
#include "model/errors.h"
#include "model/song.h"
#include "model/song_facts.h"
#include "reader/midi_reader.h"
#include "writer/midi_writer.h"

#ifdef VERSELANE_FUZZ_CONVERTERS
#include "lyrics/converters.h"
#endif

using namespace verselane;

namespace {

using fuzz::Check;
using fuzz::EncodeOrDie;

struct ReadBack {
    Song song;
    SongFacts facts;
};

// The song read back from `bytes`, which the writer produced: it must read
// completely.
ReadBack ReadBackOrDie(const std::string& bytes, const char* what) {
    ReadBack back;
    const ReadOutcome read = ReadSongBytes(back.song, back.facts, bytes);
    if (read.Result != ReadResult::Complete) fuzz::Finding(what, cli::ReadMessage(read).c_str());
    return back;
}

bool SameEvent(const Track& x, const Event& e, const Track& y, const Event& f) {
    const std::string_view body = e.IsEndOfTrack() ? std::string_view() : x.Body(e);
    return e.Tick == f.Tick && e.Kind == f.Kind && e.Channel == f.Channel && e.Data1 == f.Data1 &&
           e.Data2 == f.Data2 && body == y.Body(f);
}

// A written and re-read song against the one that was written: same header
// fields and the same events in every track (only the body of an end-of-track
// event is not written, a track that does not end with one gets one, and
// fillers may stand in long gaps).
void CheckSameEvents(const Song& a, const Song& b) {
    Check(b.HeaderLength == 6, "header length written is not 6");
    Check(a.Format == b.Format, "format differs");
    Check(a.TrackCount() == b.TrackCount(), "track count differs");
    Check(a.Division == b.Division, "division differs");
    for (int16_t t = 0; t < a.TrackCount(); ++t) {
        const Track& x = a.Tracks[static_cast<size_t>(t)];
        const Track& y = b.Tracks[static_cast<size_t>(t)];
        const int32_t n = x.Size();
        const bool closed = n > 0 && x[n - 1].IsEndOfTrack();
        Check(y.Size() >= n + !closed, "a track lost events");
        Check(y[y.Size() - 1].IsEndOfTrack(),
              "a written track does not end with an end-of-track event");
        int32_t j = 0;
        for (int32_t i = 0; i < n; ++i, ++j) {
            const Event& e = x[i];
            while (j + 1 < y.Size() && IsGapFiller(y, y[j]) && !SameEvent(x, e, y, y[j])) ++j;
            const Event& f = y[j];
            const std::string_view body = e.IsEndOfTrack() ? std::string_view() : x.Body(e);
            if (!SameEvent(x, e, y, f)) {
                std::fprintf(stderr,
                             "track %d event %d: tick %d/%d kind %02X/%02X channel %02X/%02X "
                             "data %02X %02X/%02X %02X, body %zu/%zu bytes\n",
                             int(t), int(i), int(e.Tick), int(f.Tick), unsigned(e.Kind),
                             unsigned(f.Kind), e.Channel, f.Channel, e.Data1, e.Data2, f.Data1,
                             f.Data2, body.size(), y.Body(f).size());
                Check(false, "an event differs after writing and reading back");
            }
        }
        while (j < y.Size() && IsGapFiller(y, y[j])) ++j;
        Check(y.Size() == j + !closed, "a track gained events");
    }
}

// A song that was read, against its written copy read back: the values that
// the reader picks out of the events are the same too.
void CheckSameSong(const Song& a, const SongFacts& fa, const Song& b, const SongFacts& fb) {
    CheckSameEvents(a, b);
    for (size_t t = 0; t < a.Tracks.size(); ++t) {
        Check(a.Tracks[t].Name == b.Tracks[t].Name, "track name differs");
        Check(a.Tracks[t].Instrument == b.Tracks[t].Instrument, "instrument name differs");
    }
    Check(fa.Tempo == fb.Tempo && fa.KeySignature == fb.KeySignature && fa.KeyMode == fb.KeyMode &&
              fa.TimeSigNumerator == fb.TimeSigNumerator &&
              fa.TimeSigDenominator == fb.TimeSigDenominator,
          "tempo or signatures differ");
    Check(fa.HasKaraokeText == fb.HasKaraokeText && fa.HasLyrics == fb.HasLyrics, "flags differ");
    Check(fa.Copyright == fb.Copyright, "copyright differs");
    Check(fa.KaraokeText == fb.KaraokeText, "karaoke text differs");
    Check(fa.LyricText == fb.LyricText, "lyric text differs");
}

#ifdef VERSELANE_FUZZ_CONVERTERS
// Runs one conversion on a copy of the song. A conversion may refuse the song
// with a run-time error (the caller reports it); when it succeeds, the result
// must be writable and read back as written.
template <typename Convert>
void ConvertAndWrite(const Song& song, Convert convert) {
    Song copy = song;
    try {
        convert(copy);
    } catch (const RuntimeError&) {
        return;
    }
    const std::string bytes = EncodeOrDie(copy, "a converted song cannot be written");
    const ReadBack back = ReadBackOrDie(bytes, "reading a converted song back");
    CheckSameEvents(copy, back.song);
}

bool HoldsWords(const Track& track) {
    for (const Event& e : track) {
        if (e.IsText() || e.IsLyric()) return true;
    }
    return false;
}

void ConvertTrack(const Song& song, int16_t t) {
    KaraokeInfo info{"ENG", "A Title", "An Artist", "More"};
    ConvertAndWrite(song, [&](Song& s) {
        int16_t source = t;
        LyricsToKaraoke(s, source, info);
    });
    ConvertAndWrite(song, [&](Song& s) { KaraokeToLyrics(s, t, false); });
    ConvertAndWrite(song, [&](Song& s) { KaraokeToLyrics(s, t, true); });
}

// Each conversion works on a copy of the whole song, and converting every
// track of every input would slow the fuzzing to a crawl under the
// sanitizers. So each input converts two tracks: the first that holds text or
// lyric events (the converters' material), and one that the input's last
// byte picks; over many inputs every track gets its turn.
void ConvertTracks(const Song& song, uint8_t pick) {
    const int16_t tracks = song.TrackCount();
    if (tracks <= 0) return;
    int16_t with_words = -1;
    for (int16_t t = 0; t < tracks && with_words < 0; ++t) {
        if (HoldsWords(song.Tracks[static_cast<size_t>(t)])) with_words = t;
    }
    if (with_words >= 0) ConvertTrack(song, with_words);
    const int16_t picked = static_cast<int16_t>(pick % tracks);
    if (picked != with_words) ConvertTrack(song, picked);
}
#endif

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    Song song;
    SongFacts facts;
    const ReadOutcome read = ReadSongBytes(song, facts, bytes);
    Check(read.Result == ReadResult::Complete ? read.Faults.empty() : !read.Faults.empty(),
          "a read in part or a failed read says nothing");
    for (size_t i = 0; i < read.Faults.size(); ++i) {
        Check(!cli::FaultMessage(read.Faults[i]).empty(), "a fault without its message");
        Check(read.Faults[i].Track < song.TrackCount() + 1 ||
                  read.Faults[i].Kind == ReadFaultKind::ExtraTracks ||
                  read.Faults[i].Kind == ReadFaultKind::TracksMissing,
              "a fault names a track beyond those read");
    }
    if (!read.SongUsable()) {
        Check(read.Faults.size() == 1 && read.Faults[0].Kind <= ReadFaultKind::BrokenSong,
              "a failed read gives no single reason");
        return 0;
    }
    // Whatever was read makes a valid header: a known format that the track
    // count allows, and a division that gives time.
    Check(song.Format >= 0 && song.Format <= 2 && (song.Format != 0 || song.TrackCount() <= 1),
          "a format that the tracks do not allow");
    Check(IsTimedDivision(song.Division), "a division that gives no time");

    std::string written = EncodeOrDie(song, "writing a song that was read");
    const ReadBack back = ReadBackOrDie(written, "reading a written song back");
    CheckSameSong(song, facts, back.song, back.facts);
    // Writing what was read back gives the same bytes again.
    Check(EncodeOrDie(back.song, "writing again") == written,
          "a second write differs from the first");

#ifdef VERSELANE_FUZZ_CONVERTERS
    ConvertTracks(song, size > 0 ? data[size - 1] : 0);
#endif
    return 0;
}
