#include "reader/midi_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <optional>

#include "codec/midi_codec.h"
#include "model/errors.h"
#include "platform/platform.h"
#include "reader/event_decoding.h"

namespace verselane {

namespace {

// A read in the making: the song and what the read learns of it, handed to
// the caller only when the song is usable.
struct SongRead {
    Song song;
    SongFacts facts;
};

ReadFault Fault(ReadFaultKind kind, int32_t track = -1, int64_t byte = -1, int64_t value = 0) {
    ReadFault fault;
    fault.Kind = kind;
    fault.Track = track;
    fault.Byte = byte;
    fault.Value = value;
    return fault;
}

// A file that cannot be opened or read, with the system's reason alone.
class FileProblem : public RuntimeError {
  public:
    FileProblem(ErrorKind kind, const std::string& detail, std::string reason)
        : RuntimeError(kind, detail), reason_(std::move(reason)) {}
    const std::string& Reason() const { return reason_; }

  private:
    std::string reason_;
};

[[noreturn]] void RaiseFileError(int err, const std::string& name) {
    std::string reason = std::strerror(err);
    if (err == ENOENT)
        throw FileProblem(ErrorKind::FileNotFound, name + " (" + reason + ")", reason);
    throw FileProblem(ErrorKind::FileAccess, name + ": " + reason, reason);
}
[[noreturn]] void RaiseFileProblem(const std::string& name, const std::string& reason) {
    throw FileProblem(ErrorKind::FileAccess, name + ": " + reason, reason);
}

class FileHandle {
  public:
    explicit FileHandle(int fd) : fd_(fd) {}
    ~FileHandle() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

std::string TrackText(int32_t track_index) {
    return "track " + std::to_string(track_index);
}

ReadFaultKind FaultKindOf(EventFault fault) {
    switch (fault) {
        case EventFault::CutShort:
            return ReadFaultKind::EventPastChunk;
        case EventFault::LongNumber:
            return ReadFaultKind::LongNumber;
        case EventFault::NoStatus:
            return ReadFaultKind::NoStatus;
        case EventFault::HighDataByte:
        case EventFault::None:
            break;
    }
    return ReadFaultKind::HighDataByte;
}

// The status bytes that no message has: undefined system common (F4, F5)
// and real-time (F9, FD) bytes.
constexpr bool IsUndefinedStatus(uint8_t status) {
    return status == 0xF4 || status == 0xF5 || status == 0xF9 || status == 0xFD;
}

// A system-exclusive body may end with F7; every other byte is data.
bool HasHighSysExByte(const DecodedEvent& e) {
    if (e.Status != 0xF0 || e.BodyLength == 0) return false;
    const auto* body = reinterpret_cast<const uint8_t*>(e.Body);
    const int32_t data = body[e.BodyLength - 1] == 0xF7 ? e.BodyLength - 1 : e.BodyLength;
    for (int32_t i = 0; i < data; ++i)
        if (body[i] & 0x80) return true;
    return false;
}

// Moves the track's running time past an event that is not stored.
void SkipEvent(ReadState& state, const DecodedEvent& e) {
    const int64_t time = int64_t{state.AbsTime} + e.Delta;
    if (time > INT32_MAX) Raise(ErrorKind::Overflow, "a time beyond 2147483647 ticks");
    state.AbsTime = static_cast<int32_t>(time);
}

// Reads the events of one track chunk, the bytes from `begin` up to `end`,
// into `track`, in one pass: plain channel messages through
// DecodePlainMessage, every other event through DecodeEvent, each stored
// where it stays (the track's storage is taken once, for as many events as
// the bytes could hold). Events that no player can take (an undefined
// status byte, a system-exclusive body with a byte of 0x80 or above) are
// left out, and an end of track before other events is moved after them,
// each with a fault in `outcome`. Returns the fault that stopped it, and in
// `stop` where it stood.
EventFault ReadTrackEvents(Track& track, SongFacts& facts, ReadState& state, const uint8_t* file,
                           int64_t begin, int64_t end, int64_t file_length,
                           const ReadProgress& progress, int64_t& stop, ReadOutcome& outcome) {
    // Room for as many events as the chunk's bytes could hold (two bytes
    // each at the least) and for their bodies (each with its 4-byte length,
    // a third more than the bytes at the most): room that is not filled
    // takes address space only, no memory. Where address space is limited
    // too, that bound (six times the bytes and more) could refuse a song
    // whose events fit: the events are counted first and given just the
    // room they take.
    const int64_t chunk_bytes = end - begin;
    int64_t events = chunk_bytes / 2;
    int64_t body_bytes = chunk_bytes + chunk_bytes / 3;
    if (platform::AddressSpaceIsScarce()) {
        const EventTally tally = TallyEvents(
            std::string_view(reinterpret_cast<const char*>(file + begin), size_t(chunk_bytes)));
        events = tally.Events;
        body_bytes = tally.BodyBytes;
    }
    const auto room = static_cast<int32_t>(std::min<int64_t>(events, INT32_MAX));
    track.Reserve(room, static_cast<size_t>(body_bytes));
    auto* const records =
        reinterpret_cast<char*>(const_cast<Event*>(std::to_address(track.begin())));
    // A song's events take about four bytes of records per byte of the file
    // (12 bytes for an event of three): memory is made ready for that much.
    const size_t expected = std::min<size_t>(size_t(room) * sizeof(Event), size_t(chunk_bytes) * 4);
    platform::PrepareForFilling(records, expected);
    const uint8_t* p = file + begin;
    const uint8_t* const stop_at = file + end;
    uint8_t running = 0;
    DecodedEvent e;
    EventFault fault = EventFault::None;
    // The first end of track, kept back until the chunk shows whether other
    // events follow it.
    std::optional<DecodedEvent> end_of_track;
    int32_t end_time = 0;
    int64_t end_at = 0;
    int64_t after_end = 0;
    int32_t last_time = 0;
    const int32_t t = state.TrackIndex;
    auto add = [&](ReadFaultKind kind, int64_t at, int64_t value) {
        outcome.Add(Fault(kind, t, at, value));
    };
    try {
        while (p != stop_at) {
            const uint8_t* next = DecodeNextEvent(p, stop_at, running, e, fault);
            if (!next) break;
            if (e.Status < 0xF0) {
                // A channel message, the bulk of any song: stored straight.
                after_end += end_of_track.has_value();
                StoreMessage(track, state, e);
                last_time = state.AbsTime;
                if (progress && track.Size() % 512 == 0) progress(next - file, file_length);
                p = next;
                continue;
            }
            const bool is_end = e.Status == 0xFF && e.MetaType == kMetaEndOfTrack;
            if (IsUndefinedStatus(e.Status)) {
                add(ReadFaultKind::UndefinedStatus, p - file, e.Status);
                SkipEvent(state, e);
            } else if (HasHighSysExByte(e)) {
                add(ReadFaultKind::SysExHighByte, p - file, 0);
                SkipEvent(state, e);
            } else if (is_end) {
                // A second end of track adds nothing.
                SkipEvent(state, e);
                if (!end_of_track) {
                    end_of_track = e;
                    end_time = state.AbsTime;
                    end_at = p - file;
                }
            } else {
                after_end += end_of_track.has_value();
                StoreEvent(track, facts, state, e);
                last_time = state.AbsTime;
                if (progress && track.Size() % 512 == 0) progress(next - file, file_length);
            }
            p = next;
        }
        if (after_end > 0) add(ReadFaultKind::EventsAfterEnd, end_at, after_end);
        if (end_of_track) {
            ReadState at_end = state;
            at_end.AbsTime = after_end > 0 ? std::max(end_time, last_time) : end_time;
            end_of_track->Delta = 0;
            StoreEvent(track, facts, at_end, *end_of_track);
        }
    } catch (const RuntimeError& error) {
        Raise(error.Kind(), "in " + TrackText(state.TrackIndex) + " at byte " +
                                std::to_string(p - file) +
                                (error.Detail().empty() ? "" : ": " + error.Detail()));
    }
    // What was made ready beyond the events goes back (unless the records
    // moved after all, which the room above rules out).
    const size_t filled = size_t(track.Size()) * sizeof(Event);
    const bool stayed = reinterpret_cast<const char*>(std::to_address(track.begin())) == records;
    if (stayed && filled < expected) {
        platform::ReleaseUnfilled(records + filled, expected - filled);
    }
    stop = p - file;
    return fault;
}

// A RIFF "RMID" file (RIFF header, form type "RMID", then chunks of a 4-byte
// id, a little-endian 32-bit length and the data padded to an even length)
// carries a Standard MIDI File in its "data" chunk: the bytes of that chunk,
// as far as the file holds them. Any other file is returned as it is; an RMID
// file without a "data" chunk gives nothing, so it has no MIDI header.
std::string_view UnwrapRiffMidi(std::string_view bytes) {
    if (bytes.size() < 12 || bytes.substr(0, 4) != "RIFF" || bytes.substr(8, 4) != "RMID") {
        return bytes;
    }
    auto little_endian = [&](size_t at) {
        uint32_t value = 0;
        for (int i = 3; i >= 0; --i) value = value * 256 + static_cast<uint8_t>(bytes[at + i]);
        return value;
    };
    size_t pos = 12;
    while (bytes.size() - pos >= 8) {
        std::string_view id = bytes.substr(pos, 4);
        size_t length = little_endian(pos + 4);
        pos += 8;
        if (id == "data") return bytes.substr(pos, std::min(length, bytes.size() - pos));
        if (length >= bytes.size() - pos) break;
        pos += length + (length & 1);
    }
    return {};
}

// The 32-bit big-endian field at `at`, unsigned (the bytes must be there).
int64_t LongAt(const uint8_t* file, int64_t at) {
    int64_t value = 0;
    for (int i = 0; i < 4; ++i) value = value * 256 + file[at + i];
    return value;
}
int32_t IntegerAt(const uint8_t* file, int64_t at) {
    return file[at] * 256 + file[at + 1];
}

// Whether a chunk stands at `at` (its id and length are there): a track
// chunk, or another chunk of a printable id that ends within the file. Other
// bytes (junk after the last track) are no chunk.
bool IsChunkAt(const uint8_t* file, int64_t at, int64_t size) {
    if (std::memcmp(file + at, "MTrk", 4) == 0) return true;
    return std::all_of(file + at, file + at + 4,
                       [](uint8_t c) { return c >= 0x20 && c <= 0x7E; }) &&
           at + 8 + LongAt(file, at + 4) <= size;
}

// The division read instead of one that gives no time: ticks per quarter note.

ReadOutcome ReadSongFrom(SongRead& read, std::string_view bytes, int64_t file_length,
                         const ReadProgress& progress) {
    ReadOutcome outcome;
    Song& song = read.song;
    read.facts.FileLength = ToLong(file_length);
    const int64_t size = static_cast<int64_t>(bytes.size());
    const auto* file = reinterpret_cast<const uint8_t*>(bytes.data());
    if (file_length == 0) {
        outcome.Add(Fault(ReadFaultKind::EmptyFile));
        return outcome;
    }
    // A file that ends before the three header fields has no usable header.
    if (size < 14 || bytes.substr(0, 4) != "MThd") {
        outcome.Add(Fault(ReadFaultKind::NotMidi));
        return outcome;
    }
    // Every field is taken as the 16 or 32 unsigned bits that the file holds;
    // lengths beyond the file are damage found where they stand.
    const int64_t header_length = LongAt(file, 4);
    const int64_t first_chunk = 8 + header_length;
    const int32_t format = IntegerAt(file, 8);
    const int32_t announced = IntegerAt(file, 10);
    const int32_t division = IntegerAt(file, 12);
    song.HeaderLength = static_cast<int32_t>(std::min<int64_t>(header_length, INT32_MAX));
    song.Format = static_cast<int16_t>(format <= 2 ? format : 1);
    song.Division = static_cast<int16_t>(static_cast<uint16_t>(division));

    // The track chunks that are there, as far as the header announces them:
    // they, not the announced count, give the song its tracks. Each chunk's
    // length counts only as far as the file holds it.
    // A header that announces no tracks before track chunks gives the song
    // nothing: those chunks are read (and the fault says so), not dropped.
    int64_t chunks = 0;
    const bool none_announced = announced == 0;
    for (int64_t at = first_chunk;
         (none_announced || chunks < announced) && at + 8 <= size && IsChunkAt(file, at, size) &&
         (!none_announced || bytes.substr(size_t(at), 4) == "MTrk");
         ++chunks) {
        at += 8 + LongAt(file, at + 4);
    }
    const int32_t to_read = none_announced ? static_cast<int32_t>(chunks) : announced;
    // Two tracks fewer than a track number holds, so that the lyrics
    // conversion can always add its two.
    if (chunks > INT16_MAX - 2) {
        Raise(ErrorKind::Overflow,
              "the file holds " + std::to_string(chunks) + " track chunks, more than 32765");
    }
    song.Tracks.resize(static_cast<size_t>(chunks));

    if (format > 2) outcome.Add(Fault(ReadFaultKind::UnknownFormat, -1, 8, format));
    if (format == 0 && chunks > 1) {
        song.Format = 1;
        outcome.Add(Fault(ReadFaultKind::SeveralTracksInFormat0, -1, 10, chunks));
    }
    if (!IsTimedDivision(song.Division)) {
        song.Division = kStandInDivision;
        outcome.Add(Fault(ReadFaultKind::NoTiming, -1, 12, division));
    }

    if (none_announced && chunks > 0) {
        outcome.Add(Fault(ReadFaultKind::ExtraTracks, 0, first_chunk, chunks));
    }
    ReadState state;
    int64_t at = first_chunk;
    for (int32_t t = 0; t < to_read; ++t) {
        if (at + 8 > size || !IsChunkAt(file, at, size)) {
            // The chunk's id and length are not all there, or what follows
            // is no chunk at all (junk after the last track).
            const bool cut = at + 4 <= size && bytes.substr(static_cast<size_t>(at), 4) == "MTrk";
            outcome.Add(Fault(cut ? ReadFaultKind::CutShort : ReadFaultKind::TracksMissing, t,
                              std::min(at, size), announced));
            return outcome;
        }
        state.TrackIndex = static_cast<int16_t>(t);
        const int64_t begin = at + 8;
        const int64_t end = begin + LongAt(file, at + 4);
        at = end;
        if (bytes.substr(static_cast<size_t>(begin - 8), 4) != "MTrk") {
            outcome.Add(Fault(ReadFaultKind::TrackMissing, t, begin - 8, 0));
            continue;
        }
        state.AbsTime = 0;
        int64_t stop = begin;
        const EventFault fault =
            ReadTrackEvents(song.Tracks[static_cast<size_t>(t)], read.facts, state, file, begin,
                            std::min(end, size), size, progress, stop, outcome);
        if (end > size) {
            // A length beyond the file, up to any of 4 GB: the events there are kept.
            outcome.Add(Fault(ReadFaultKind::CutShort, t, size, 0));
            return outcome;
        }
        if (fault != EventFault::None) outcome.Add(Fault(FaultKindOf(fault), t, stop, 0));
    }
    // Track chunks beyond those that the header announces are not read;
    // other bytes after the last track (padding, a container's rest) are
    // not the song's.
    int64_t extra = 0;
    const int64_t extra_at = at;
    while (at + 8 <= size && bytes.substr(static_cast<size_t>(at), 4) == "MTrk") {
        ++extra;
        at += 8 + LongAt(file, at + 4);
    }
    if (extra > 0 && !none_announced) {
        outcome.Add(Fault(ReadFaultKind::ExtraTracks, announced, extra_at, extra));
    }
    // Padding after it (NUL bytes, or the 0x1A that old transfers filled a
    // last block with) carries nothing; other bytes there are not the song's
    // but are counted, so that what writes the song can say they are left out.
    if (at < size) {
        const uint8_t pad = file[at];
        const bool padding =
            (pad == 0 || pad == 0x1A) &&
            std::all_of(file + at, file + size, [&](uint8_t c) { return c == pad; });
        if (!padding) read.facts.TrailingBytes = ToLong(size - at);
    }
    return outcome;
}

// The whole content of a file, in a buffer that is not cleared before the
// file is read into it.
struct FileContent {
    std::unique_ptr<char[]> data;
    size_t size = 0;
    std::string_view view() const { return {data.get(), size}; }
};

FileContent LoadFile(const std::string& FileName) {
    // Opened without waiting, so that a named pipe with no writer cannot hang
    // the read; its bytes are then read normally.
    FileHandle file(::open(FileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.get() < 0) RaiseFileError(errno, FileName);
    struct stat st;
    if (::fstat(file.get(), &st) != 0) RaiseFileError(errno, FileName);
    if (S_ISDIR(st.st_mode)) RaiseFileError(EISDIR, FileName);
    // A device would give bytes without end (/dev/zero) or a whole disk.
    if (!S_ISREG(st.st_mode) && !S_ISFIFO(st.st_mode)) {
        RaiseFileProblem(FileName, "not a regular file");
    }
    int flags = ::fcntl(file.get(), F_GETFL);
    if (flags < 0 || ::fcntl(file.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) {
        RaiseFileError(errno, FileName);
    }
    // The song keeps the file's length in 32 bits: a longer file cannot be
    // read, and is refused before any of it is loaded.
    constexpr int64_t kLongest = INT32_MAX;
    if (S_ISREG(st.st_mode) && st.st_size > kLongest) {
        Raise(ErrorKind::Overflow,
              FileName + " holds " + std::to_string(st.st_size) + " bytes, more than 2147483647");
    }
    // A file with holes (a download not yet filled in, a file made by
    // truncate) claims bytes that are not on the disk: its length is not
    // taken on trust, and nothing is reserved for it.
    if (S_ISREG(st.st_mode) && st.st_size > 0) {
        const off_t hole = ::lseek(file.get(), 0, SEEK_HOLE);
        if (hole >= 0 && hole < st.st_size) {
            RaiseFileProblem(FileName, "only " + std::to_string(hole) + " of its " +
                                           std::to_string(st.st_size) +
                                           " bytes are on the disk (a file with holes)");
        }
        if (::lseek(file.get(), 0, SEEK_SET) != 0) RaiseFileError(errno, FileName);
    }
    // Straight into a buffer sized by fstat; whatever comes beyond that size
    // (a pipe, a file that grows meanwhile) makes it grow.
    FileContent content;
    size_t capacity = S_ISREG(st.st_mode) ? static_cast<size_t>(st.st_size) : 0;
    content.data = std::make_unique_for_overwrite<char[]>(std::max<size_t>(capacity, 1));
    platform::PrepareForFilling(content.data.get(), capacity);
    char more[1 << 14];
    for (;;) {
        const bool within = content.size < capacity;
        ssize_t got =
            within ? ::read(file.get(), content.data.get() + content.size, capacity - content.size)
                   : ::read(file.get(), more, sizeof more);
        if (got < 0) {
            if (errno == EINTR) continue;
            RaiseFileError(errno, FileName);
        }
        if (got == 0) break;
        if (!within) {
            if (static_cast<int64_t>(content.size) + got > kLongest) {
                Raise(ErrorKind::Overflow, FileName + " holds more than 2147483647 bytes");
            }
            capacity = std::max(capacity * 2, content.size + static_cast<size_t>(got));
            auto grown = std::make_unique_for_overwrite<char[]>(capacity);
            std::memcpy(grown.get(), content.data.get(), content.size);
            std::memcpy(grown.get() + content.size, more, static_cast<size_t>(got));
            content.data = std::move(grown);
        }
        content.size += static_cast<size_t>(got);
    }
    return content;
}

}  // namespace

void ReadOutcome::Add(ReadFault Fault) {
    const bool fatal = Fault.Kind <= ReadFaultKind::BrokenSong;
    if (fatal) {
        Result = ReadResult::Failed;
    } else if (Result == ReadResult::Complete) {
        Result = ReadResult::Partial;
    }
    Faults.push_back(std::move(Fault));
}

std::string LoadFileBytes(const std::string& FileName) {
    return std::string(LoadFile(FileName).view());
}

namespace {

// The outcome of a read stopped by the error being handled.
ReadOutcome FailedRead() {
    ReadFault fault = Fault(ReadFaultKind::BrokenSong);
    try {
        throw;
    } catch (const FileProblem& e) {
        fault.Kind = e.Kind() == ErrorKind::FileNotFound ? ReadFaultKind::FileNotFound
                                                         : ReadFaultKind::FileAccess;
        fault.Reason = e.Reason();
        fault.Detail = e.what();
    } catch (const RuntimeError& e) {
        if (e.Kind() == ErrorKind::OutOfMemory) fault.Kind = ReadFaultKind::OutOfMemory;
        fault.Detail = e.what();
    } catch (const std::bad_alloc&) {
        fault.Kind = ReadFaultKind::OutOfMemory;
        fault.Detail = ErrorKindText(ErrorKind::OutOfMemory);
    }
    ReadOutcome outcome;
    outcome.Add(std::move(fault));
    return outcome;
}

ReadOutcome ReadBytes(SongRead& read, std::string_view bytes, const ReadProgress& progress) {
    try {
        const std::string_view data = UnwrapRiffMidi(bytes);
        ReadOutcome outcome =
            ReadSongFrom(read, data, static_cast<int64_t>(bytes.size()), progress);
        // The RIFF header (12 bytes) and the "data" chunk's head (8) and pad
        // byte only wrap the song; anything beyond is more than the song.
        if (data.data() != bytes.data() && outcome.SongUsable()) {
            const auto wrapped = static_cast<int64_t>(data.size() + 20 + (data.size() & 1));
            read.facts.WrapperBytes =
                ToLong(std::max<int64_t>(0, static_cast<int64_t>(bytes.size()) - wrapped));
        }
        return outcome;
    } catch (const RuntimeError&) {
        return FailedRead();
    } catch (const std::bad_alloc&) {
        // Anything else (a caller's progress callback that stops the read)
        // goes on to the caller.
        return FailedRead();
    }
}

ReadOutcome ReadFile(SongRead& read, const std::string& file_name, const ReadProgress& progress) {
    FileContent bytes;
    try {
        bytes = LoadFile(file_name);
    } catch (const RuntimeError&) {
        return FailedRead();
    } catch (const std::bad_alloc&) {
        return FailedRead();
    }
    return ReadBytes(read, bytes.view(), progress);
}

// The song and facts of a read that left a usable song; nothing of a failed one.
ReadOutcome Deliver(SongRead& read, ReadOutcome outcome, Song& song, SongFacts& facts) {
    if (outcome.SongUsable()) {
        song = std::move(read.song);
        facts = std::move(read.facts);
    }
    return outcome;
}

}  // namespace

ReadOutcome ReadSong(Song& Song, SongFacts& Facts, const std::string& FileName,
                     const ReadProgress& Progress) {
    SongRead read;
    ReadOutcome outcome = ReadFile(read, FileName, Progress);
    return Deliver(read, std::move(outcome), Song, Facts);
}

ReadOutcome ReadSongBytes(Song& Song, SongFacts& Facts, std::string_view Bytes,
                          const ReadProgress& Progress) {
    SongRead read;
    ReadOutcome outcome = ReadBytes(read, Bytes, Progress);
    return Deliver(read, std::move(outcome), Song, Facts);
}

}  // namespace verselane
