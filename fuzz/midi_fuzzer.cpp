// Arbitrary bytes through the whole pipeline: read, write, read back and
// compare, convert lyrics both ways on the tracks, write again.
//
// Any crash, sanitizer report, leak, hang or memory blow-up is a finding; so
// is a song that does not come back the same after a write, or a written file
// that the reader refuses.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "cli/outcome_text.h"
#include "model/errors.h"
#include "model/midi_file.h"
#include "reader/midi_reader.h"
#include "writer/midi_writer.h"

#ifdef VERSELANE_FUZZ_CONVERTERS
#include "lyrics/converters.h"
#endif

using namespace verselane;

namespace {

void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "verselane-fuzz: %s\n", what);
        std::abort();
    }
}

std::string EncodeOrDie(const MidiFile& song, const char* what) {
    try {
        return EncodeMidiFile(song);
    } catch (const RuntimeError& e) {
        std::fprintf(stderr, "verselane-fuzz: %s: %s\n", what, e.what());
        std::abort();
    }
}

// The song read back from `bytes`, which the writer produced: it must read
// completely.
MidiFile ReadBackOrDie(const std::string& bytes, const char* what) {
    MidiFile song;
    ResetMidiFile(song);
    const ReadOutcome read = ReadMidiBytes(song, bytes);
    if (read.Result != ReadResult::Complete) {
        std::fprintf(stderr, "verselane-fuzz: %s: %s\n", what, cli::ReadMessage(read).c_str());
        std::abort();
    }
    return song;
}

// A written and re-read song against the one that was written: same header
// fields and the same events in every track (only the body of an end-of-track
// event is not written, and a track that does not end with one gets one).
void CheckSameEvents(const MidiFile& a, const MidiFile& b) {
    Check(b.Header.Length == 6, "header length written is not 6");
    Check(a.Header.Format == b.Header.Format, "format differs");
    Check(a.Header.NumTracks == b.Header.NumTracks, "track count differs");
    Check(a.Header.Division == b.Header.Division, "division differs");
    for (int32_t t = 0; t < a.Header.NumTracks; ++t) {
        const int32_t n = a.Count(t);
        const bool closed = n > 0 && a.Track(t).Event(n - 1).IsEndOfTrack();
        Check(b.Count(t) == n + !closed, "event count of a track differs");
        const MidiEvent& last = b.Track(t).Event(b.Count(t) - 1);
        Check(last.IsEndOfTrack(), "a written track does not end with an end-of-track event");
        for (int32_t i = 0; i < a.Count(t); ++i) {
            MidiEvent x = a.Track(t).Event(i);
            MidiEvent y = b.Track(t).Event(i);
            if (x.IsEndOfTrack()) x.Data = ByteString();
            if (!(x == y)) {
                std::fprintf(stderr,
                             "track %d event %d: time %d/%d kind %02X/%02X channel %02X/%02X "
                             "data %02X %02X/%02X %02X, body %zu/%zu bytes\n",
                             int(t), int(i), int(x.Time), int(y.Time), x.Kind, y.Kind, x.Channel,
                             y.Channel, x.Data1, x.Data2, y.Data1, y.Data2, x.Data.size(),
                             y.Data.size());
                Check(false, "an event differs after writing and reading back");
            }
        }
    }
}

// A song that was read, against its written copy read back: the values that
// the reader picks out of the events are the same too.
void CheckSameSong(const MidiFile& a, const MidiFile& b) {
    CheckSameEvents(a, b);
    for (int32_t t = 0; t < a.Header.NumTracks; ++t) {
        Check(a.TrackName[t] == b.TrackName[t], "track name differs");
        Check(a.InstrumentName[t] == b.InstrumentName[t], "instrument name differs");
    }
    Check(a.Tempo == b.Tempo && a.KeySignature == b.KeySignature && a.KeyMode == b.KeyMode &&
              a.TimeSigNumerator == b.TimeSigNumerator &&
              a.TimeSigDenominator == b.TimeSigDenominator,
          "tempo or signatures differ");
    Check(a.HasKaraokeText == b.HasKaraokeText && a.HasLyrics == b.HasLyrics, "flags differ");
    Check(a.Copyright == b.Copyright, "copyright differs");
    Check(a.KaraokeText == b.KaraokeText, "karaoke text differs");
    Check(a.LyricText == b.LyricText, "lyric text differs");
}

#ifdef VERSELANE_FUZZ_CONVERTERS
// Whether two successive events of a track lie further apart than the
// largest delta time, 0x0FFFFFFF ticks.
bool HasGapBeyondDelta(const MidiFile& song) {
    for (int32_t t = 0; t < song.Header.NumTracks; ++t) {
        int32_t latest = 0;
        for (const MidiEvent& e : song.Events(t)) {
            const int32_t time = e.Time;
            if (time > latest && int64_t{time} - latest > 0x0FFFFFFF) return true;
            latest = std::max(latest, time);
        }
    }
    return false;
}

// Runs one conversion on a copy of the song. A conversion may refuse the song
// with a run-time error (the caller reports it); when it succeeds, the result
// must be writable and read back as written.
template <typename Convert>
void ConvertAndWrite(const MidiFile& song, Convert convert) {
    MidiFile copy = song;
    try {
        convert(copy);
    } catch (const RuntimeError&) {
        return;
    }
    std::string bytes;
    try {
        bytes = EncodeMidiFile(copy);
    } catch (const RuntimeError& e) {
        // A new track may span the whole song with few events, so two of them
        // can lie further apart than a delta time can say: the writer refuses
        // that song, as it should. Nothing else may stop it.
        Check(e.Kind() == ErrorKind::Overflow && HasGapBeyondDelta(copy),
              "a converted song cannot be written");
        return;
    }
    MidiFile back = ReadBackOrDie(bytes, "reading a converted song back");
    CheckSameEvents(copy, back);
}

bool HoldsWords(const MidiFile& song, int16_t t) {
    for (const MidiEvent& e : song.Track(t).Stored()) {
        if (e.IsText() || e.IsLyric()) return true;
    }
    return false;
}

void ConvertTrack(const MidiFile& song, int16_t t) {
    KaraokeInfo info{"ENG", "A Title", "An Artist", "More"};
    ConvertAndWrite(song, [&](MidiFile& s) {
        int16_t source = t;
        LyricsToKaraoke(s, source, info);
    });
    ConvertAndWrite(song, [&](MidiFile& s) { KaraokeToLyrics(s, t, false); });
    ConvertAndWrite(song, [&](MidiFile& s) { KaraokeToLyrics(s, t, true); });
}

// Each conversion works on a copy of the whole song, and converting every
// track of every input would slow the fuzzing to a crawl under the
// sanitizers. So each input converts two tracks: the first that holds text or
// lyric events (the converters' material), and one that the input's last
// byte picks; over many inputs every track gets its turn.
void ConvertTracks(const MidiFile& song, uint8_t pick) {
    const int16_t tracks = song.Header.NumTracks;
    if (tracks <= 0) return;
    int16_t with_words = -1;
    for (int16_t t = 0; t < tracks && with_words < 0; ++t) {
        if (HoldsWords(song, t)) with_words = t;
    }
    if (with_words >= 0) ConvertTrack(song, with_words);
    const int16_t picked = static_cast<int16_t>(pick % tracks);
    if (picked != with_words) ConvertTrack(song, picked);
}
#endif

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    MidiFile song;
    ResetMidiFile(song);
    const ReadOutcome read = ReadMidiBytes(song, bytes);
    Check(read.Result == ReadResult::Complete ? read.Faults.empty() : !read.Faults.empty(),
          "a read in part or a failed read says nothing");
    for (size_t i = 0; i < read.Faults.size(); ++i) {
        Check(!cli::FaultMessage(read.Faults[i]).empty(), "a fault without its message");
        Check(read.Faults[i].Track < song.Header.NumTracks + 1 ||
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
    Check(song.Header.Format >= 0 && song.Header.Format <= 2 &&
              (song.Header.Format != 0 || song.Header.NumTracks <= 1),
          "a format that the tracks do not allow");
    Check(IsTimedDivision(song.Header.Division), "a division that gives no time");

    std::string written = EncodeOrDie(song, "writing a song that was read");
    MidiFile back = ReadBackOrDie(written, "reading a written song back");
    CheckSameSong(song, back);
    // Writing what was read back gives the same bytes again.
    Check(EncodeOrDie(back, "writing again") == written, "a second write differs from the first");

#ifdef VERSELANE_FUZZ_CONVERTERS
    ConvertTracks(song, size > 0 ? data[size - 1] : 0);
#endif
    return 0;
}
