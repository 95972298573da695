#include "tests/support/song_checks.h"

#include <tuple>

#include "codec/midi_codec.h"
#include "reader/midi_reader.h"
#include "writer/midi_writer.h"

namespace verselane::test {

::testing::AssertionResult SameEvents(const MidiFile& a, const MidiFile& b, bool written) {
    if (std::tie(a.Header.Format, a.Header.NumTracks, a.Header.Division) !=
        std::tie(b.Header.Format, b.Header.NumTracks, b.Header.Division)) {
        return ::testing::AssertionFailure() << "the header fields differ";
    }
    for (int32_t t = 0; t < a.Header.NumTracks; ++t) {
        const int32_t n = a.Count(t);
        const bool added = written && !(n > 0 && IsEndOfTrack(a.Track(t).Event(n - 1))) &&
                           b.Count(t) == n + 1 && IsEndOfTrack(b.Track(t).Event(n));
        if (!added && n != b.Count(t)) {
            return ::testing::AssertionFailure()
                   << "track " << t << " holds " << n << " events, then " << b.Count(t);
        }
        for (int32_t i = 0; i < n; ++i) {
            MidiEvent x = a.Track(t).Event(i), y = b.Track(t).Event(i);
            if (IsEndOfTrack(x) && IsEndOfTrack(y)) x.Data = y.Data;
            if (!(x == y)) return ::testing::AssertionFailure() << "track " << t << " event " << i;
        }
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult SameSong(const MidiFile& a, const MidiFile& b) {
    auto all = [](const MidiFile& s) {
        return std::tie(s.Header, s.Tracks, s.EventCount, s.TrackName, s.InstrumentName,
                        s.TrackSlots, s.EventSlots, s.Tempo, s.KeySignature, s.KeyMode,
                        s.TimeSigNumerator, s.TimeSigDenominator, s.HasKaraokeText, s.HasLyrics,
                        s.Copyright, s.FileLength, s.KaraokeText, s.LyricText);
    };
    if (all(a) == all(b)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "the songs differ";
}

::testing::AssertionResult WritesAndReadsBack(const MidiFile& song) {
    std::string bytes;
    try {
        bytes = EncodeMidiFile(song);
    } catch (const RuntimeError& e) {
        return ::testing::AssertionFailure() << "the song cannot be written: " << e.what();
    }
    MidiFile back;
    ResetMidiFile(back);
    if (const ReadOutcome read = ReadMidiBytes(back, bytes); read.Result != ReadResult::Complete)
        return ::testing::AssertionFailure() << "the written song reads back: " << read.Message();
    if (EncodeMidiFile(back) != bytes)
        return ::testing::AssertionFailure() << "the song read back is written otherwise";
    return SameEvents(song, back, true);
}

}  // namespace verselane::test
