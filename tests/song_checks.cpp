#include <gtest/gtest.h>

#include "tests/song_checks.h"

#include "model/errors.h"
#include "reader/midi_reader.h"
#include "writer/midi_writer.h"

namespace verselane::test {

namespace {

std::string Describe(const MidiEvent& e) {
    return "time " + std::to_string(e.Time) + " kind " + std::to_string(e.Kind) + " channel " +
           std::to_string(e.Channel) + " data " + std::to_string(e.Data1) + " " +
           std::to_string(e.Data2) + " body of " + std::to_string(e.Data.size()) + " bytes";
}

}  // namespace

::testing::AssertionResult SameEvents(const MidiFile& a, const MidiFile& b, bool written) {
    if (a.Header.Format != b.Header.Format || a.Header.NumTracks != b.Header.NumTracks ||
        a.Header.Division != b.Header.Division) {
        return ::testing::AssertionFailure() << "the header fields differ";
    }
    for (int32_t t = 0; t < a.Header.NumTracks; ++t) {
        // A written track that did not end with an end of track gets one.
        const int32_t n = a.Count(t);
        const bool closed = n > 0 && a.Track(t).Event(n - 1).Kind == kKindMeta &&
                            a.Track(t).Event(n - 1).Channel == kMetaEndOfTrack;
        if (written && !closed && b.Count(t) == n + 1 &&
            b.Track(t).Event(n).Channel == kMetaEndOfTrack) {
        } else if (a.Count(t) != b.Count(t)) {
            return ::testing::AssertionFailure()
                   << "track " << t << " holds " << a.Count(t) << " events, then " << b.Count(t);
        }
        for (int32_t i = 0; i < a.Count(t); ++i) {
            MidiEvent x = a.Track(t).Event(i);
            MidiEvent y = b.Track(t).Event(i);
            if (x.Kind == kKindMeta && x.Channel == kMetaEndOfTrack) x.Data = ByteString();
            if (y.Kind == kKindMeta && y.Channel == kMetaEndOfTrack) y.Data = ByteString();
            if (!(x == y)) {
                return ::testing::AssertionFailure() << "track " << t << " event " << i << ": "
                                                     << Describe(x) << ", then " << Describe(y);
            }
        }
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult SameSong(const MidiFile& a, const MidiFile& b) {
    if (!(a.Header == b.Header)) return ::testing::AssertionFailure() << "the headers differ";
    if (a.Tracks != b.Tracks) return ::testing::AssertionFailure() << "the tracks differ";
    if (a.EventCount != b.EventCount || a.TrackName != b.TrackName ||
        a.InstrumentName != b.InstrumentName || a.TrackSlots != b.TrackSlots ||
        a.EventSlots != b.EventSlots) {
        return ::testing::AssertionFailure() << "the per-track arrays or their bounds differ";
    }
    if (a.Tempo != b.Tempo || a.KeySignature != b.KeySignature || a.KeyMode != b.KeyMode ||
        a.TimeSigNumerator != b.TimeSigNumerator || a.TimeSigDenominator != b.TimeSigDenominator ||
        a.HasKaraokeText != b.HasKaraokeText || a.HasLyrics != b.HasLyrics ||
        a.Copyright != b.Copyright || a.FileLength != b.FileLength ||
        a.KaraokeText != b.KaraokeText || a.LyricText != b.LyricText) {
        return ::testing::AssertionFailure() << "the song-wide values differ";
    }
    return ::testing::AssertionSuccess();
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
    const ReadOutcome read = ReadMidiBytes(back, bytes);
    if (read.Result != ReadResult::Complete) {
        return ::testing::AssertionFailure()
               << "the written song reads back with: " << read.Message();
    }
    return SameEvents(song, back, true);
}

}  // namespace verselane::test
