#include "writer/midi_writer.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "codec/midi_codec.h"
#include "model/errors.h"
#include "platform/platform.h"

namespace verselane {

namespace {

// Where encoded bytes go: into memory that grows as the bytes come (a
// song encoded in one pass, its chunk lengths filled in after each track).
// It gives room for an event's head at Head(), and Advance says where the
// head ended; Put takes any other bytes.
class GrowingSink {
  public:
    explicit GrowingSink(size_t guess) {
        text_.resize(std::max<size_t>(guess, 64));
        platform::PreferHugePages(text_.data(), text_.size());
    }
    char* Head() {
        Room(kEventHead);
        return text_.data() + used_;
    }
    // How many event heads fit in the room there is (at least one: room for
    // one is taken when there is none).
    size_t HeadsThatFit() {
        Room(kEventHead);
        return (text_.size() - used_) / kEventHead;
    }
    void Advance(const char* end) { used_ = static_cast<size_t>(end - text_.data()); }
    void Put(std::string_view bytes) {
        Room(bytes.size());
        std::memcpy(text_.data() + used_, bytes.data(), bytes.size());
        used_ += bytes.size();
    }
    size_t Used() const { return used_; }
    void Clear() { used_ = 0; }
    char* At(size_t i) { return text_.data() + i; }
    std::string Take() {
        text_.resize(used_);
        return std::move(text_);
    }

  private:
    void Room(size_t n) {
        if (text_.size() - used_ < n) text_.resize(std::max(text_.size() * 2, used_ + n));
    }
    std::string text_;
    size_t used_ = 0;
};

// A song that cannot be encoded: the error that EncodeSong raises, with the
// failure that WriteSong returns for it.
class UnencodableSong : public RuntimeError {
  public:
    UnencodableSong(ErrorKind kind, const std::string& detail, WriteFailure failure)
        : RuntimeError(kind, detail), failure_(std::move(failure)) {}
    const WriteFailure& Failure() const { return failure_; }

  private:
    WriteFailure failure_;
};

[[noreturn]] void RaiseUnencodable(ErrorKind kind, const std::string& detail, WriteFailureKind what,
                                   int32_t track = -1, int32_t event = -1, int64_t value = 0) {
    WriteFailure failure;
    failure.Kind = what;
    failure.Track = track;
    failure.Event = event;
    failure.Value = value;
    failure.Error = kind;
    throw UnencodableSong(kind, detail, std::move(failure));
}

// A sequencer's meta event (type 0x7F) of the manufacturer id kept for
// non-commercial use, with no data: an event that every player passes over.
// It stands between two events further apart than one delta time can say,
// a gap that only a song read from a damaged file or one made by a program
// can hold (2^28 ticks are days of music).
constexpr char kGapFillerId = 0x7D;
static_assert(kMetaSequencerEvent == 0x7F);
constexpr std::string_view kGapFiller{"\xFF\x7F\x01\x7D", 4};
static_assert(kGapFiller[3] == kGapFillerId);

// Puts as many fillers, each the largest delta time after the one before, as
// bring `latest` within one delta time of `time`; returns the new latest.
template <class Sink>
int32_t BridgeGap(Sink& out, int32_t latest, int32_t time, uint8_t& last_status) {
    while (int64_t{time} - latest > kLargestVarLen) {
        out.Advance(PutVarLen(out.Head(), kLargestVarLen, "a delta time"));
        out.Put(kGapFiller);
        latest += kLargestVarLen;
        last_status = 0;  // a channel message after a meta event gives its status
    }
    return latest;
}

// The events of track `t`, each with the delta from the latest time before
// it (an event stored out of order is written at that time), closed by one
// end-of-track event: an end of track that other events follow is not
// written there (readers would stop at it and lose them), and the track ends
// at the latest of its times. Events further apart than a delta time can say
// have fillers between them (BridgeGap).
template <class Sink>
void EncodeTrackEvents(Sink& out, const Track& track, int32_t t) {
    const int32_t count = track.Size();
    uint8_t last_status = 0;
    int32_t latest = 0;
    int32_t end_time = 0;  // the latest end of track that was left out
    int32_t i = 0;
    try {
        // The events go in runs whose heads fit in the room there is, written
        // straight at `head`; an event with a body ends its run, the body
        // following its head.
        while (i < count) {
            const int32_t run_end =
                i + static_cast<int32_t>(std::min<size_t>(out.HeadsThatFit(), size_t(count - i)));
            char* head = out.Head();
            std::string_view body;
            int32_t gap_to = -1;  // the time of an event that needs fillers first
            for (; i < run_end && body.empty(); ++i) {
                const Event& e = track[i];
                const bool is_end = e.IsEndOfTrack();
                if (is_end && i + 1 < count) {
                    end_time = std::max(end_time, e.Tick);
                    continue;
                }
                // The last end of track comes no earlier than any left out.
                const int32_t time = is_end ? std::max(e.Tick, end_time) : e.Tick;
                if (int64_t{time} - latest > kLargestVarLen) {
                    gap_to = time;  // the run ends here; the event goes after the fillers
                    break;
                }
                const int32_t delta =
                    static_cast<int32_t>(std::max<int64_t>(int64_t{time} - latest, 0));
                latest = std::max(latest, time);
                head = EncodeEventHead(head, e, track, delta, last_status, body);
                if (is_end) {
                    out.Advance(head);
                    return;
                }
            }
            out.Advance(head);
            if (!body.empty()) out.Put(body);
            if (gap_to >= 0) latest = BridgeGap(out, latest, gap_to, last_status);
        }
    } catch (const RuntimeError& error) {
        const std::string where = "track " + std::to_string(t) + ", event " + std::to_string(i);
        WriteFailure failure;
        failure.Kind = WriteFailureKind::Unencodable;
        failure.Track = t;
        failure.Event = i;
        failure.Error = error.Kind();
        failure.Detail = error.Detail();
        throw UnencodableSong(error.Kind(), where + ": " + error.Detail(), std::move(failure));
    }
    latest = BridgeGap(out, latest, end_time, last_status);
    char* p = PutVarLen(out.Head(), std::max(end_time - latest, 0), "a delta time");
    out.Advance(p);
    out.Put(kEndOfTrack.substr(1));
}

// Raises for a track of more bytes than a chunk's length field holds.
void CheckTrackLength(int32_t t, int64_t size) {
    if (size > INT32_MAX) {
        RaiseUnencodable(ErrorKind::Overflow,
                         "track " + std::to_string(t) + " takes " + std::to_string(size) +
                             " bytes, more than a chunk holds",
                         WriteFailureKind::TrackTooLong, t, -1, size);
    }
}

// The format written: one that the track count allows. A format 0 song of
// several tracks (or of an unknown format) is written as format 1, which
// holds tracks played together, as any reader takes them.
int16_t WrittenFormat(const Song& song) {
    if (song.Format == 0 && song.TrackCount() > 1) return 1;
    if (song.Format < 0 || song.Format > 2) return 1;
    return song.Format;
}

// The header chunk of the song.
template <class Sink>
void EncodeHeader(Sink& out, const Song& song) {
    char head[14];
    std::memcpy(head, "MThd", 4);
    char* p = PutLong(head + 4, 6);
    p = PutInteger(p, WrittenFormat(song));
    p = PutInteger(p, song.TrackCount());
    // The division's 16 bits as they are: SMPTE time has the top bit set.
    *p++ = static_cast<char>(static_cast<uint16_t>(song.Division) >> 8);
    *p++ = static_cast<char>(song.Division & 0xFF);
    out.Put(std::string_view(head, 14));
}

// Raises for a header that no file may carry.
void CheckHeader(const Song& song) {
    if (song.TrackCount() < 0) {
        RaiseUnencodable(ErrorKind::Overflow, "a negative number of tracks",
                         WriteFailureKind::NegativeTrackCount);
    }
    if (!IsTimedDivision(song.Division)) {
        const uint16_t division = static_cast<uint16_t>(song.Division);
        RaiseUnencodable(ErrorKind::InvalidArgument,
                         "the division " + std::to_string(division) + " gives the events no time",
                         WriteFailureKind::UntimedDivision, -1, -1, division);
    }
}

// The header, then every track as a chunk whose length is filled in once
// its events are written; `track_done` is called after each track.
template <class TrackDone>
void EncodeChunks(GrowingSink& out, const Song& song, TrackDone track_done) {
    EncodeHeader(out, song);
    for (int32_t t = 0; t < song.TrackCount(); ++t) {
        out.Put(std::string_view("MTrk\0\0\0\0", 8));
        const size_t start = out.Used();
        EncodeTrackEvents(out, song.Tracks[static_cast<size_t>(t)], t);
        const int64_t length = static_cast<int64_t>(out.Used() - start);
        CheckTrackLength(t, length);
        PutLong(out.At(start - 4), static_cast<int32_t>(length));
        track_done();
    }
}

}  // namespace

// In memory the song is encoded in one pass: nothing is touched before it
// is whole, so there is nothing to measure first. Each track's length is
// filled in once its events are written.
std::string EncodeSong(const Song& Song) {
    CheckHeader(Song);
    // Room for notes under running status and every body, taken once.
    int64_t guess = 14;
    for (const Track& track : Song.Tracks)
        guess += 8 + 4 * int64_t{track.Size()} + static_cast<int64_t>(track.PoolBytes());
    GrowingSink out(static_cast<size_t>(guess));
    EncodeChunks(out, Song, [] {});
    return out.Take();
}

std::optional<WriteFailure> WriteSong(const Song& Song, const std::string& FileName,
                                      ExistingFile Existing) {
    try {
        CheckHeader(Song);
        OutputFile file(FileName, Existing);
        if (file.InPlace()) {
            // A stream keeps whatever it is given: the song is encoded whole
            // first, so one that cannot be written leaves nothing there.
            file.Write(EncodeSong(Song));
        } else {
            // A file is only put in place by Commit, so the tracks go out one
            // by one through a buffer of one track: the song is never held
            // twice, and one that cannot be written leaves the target as it
            // was.
            GrowingSink out(size_t{1} << 16);
            EncodeChunks(out, Song, [&] {
                file.Write(std::string_view(out.At(0), out.Used()));
                out.Clear();
            });
            // A song without tracks is its header alone.
            if (out.Used() > 0) file.Write(std::string_view(out.At(0), out.Used()));
        }
        file.Commit();
        return std::nullopt;
    } catch (const UnencodableSong& e) {
        WriteFailure failure = e.Failure();
        failure.Path = FileName;
        return failure;
    } catch (...) {
        return CurrentWriteFailure(FileName);
    }
}

bool IsGapFiller(const Track& track, const Event& e) {
    return e.IsMeta(kMetaSequencerEvent) && track.Body(e) == std::string_view(&kGapFillerId, 1);
}

}  // namespace verselane
