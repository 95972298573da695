#include "reader/midi_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "codec/midi_codec.h"
#include "model/errors.h"
#include "reader/event_decoding.h"
#include "reader/huge_pages.h"
#include "reader/number_reading.h"

namespace verselane {

namespace {

constexpr std::string_view kNoHeader = "Failed to find MThd header for file.";
constexpr std::string_view kNoTrack = "Failed to find MTrk track header for track ";

[[noreturn]] void RaiseFileError(int err, const std::string& name) {
    std::string reason = std::strerror(err);
    if (err == ENOENT) Raise(ErrorKind::FileNotFound, name + " (" + reason + ")");
    Raise(ErrorKind::FileAccess, name + ": " + reason);
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

std::string TrackText(int16_t track_index) {
    return "track " + std::to_string(track_index + 1);
}

std::string CutShortMessage(int16_t track_index) {
    return "File is cut short inside " + TrackText(track_index) + ".";
}

// What a fault inside a track chunk means for the user.
std::string FaultMessage(EventFault fault, int16_t track_index, int64_t at) {
    std::string where = "In " + TrackText(track_index) + " at byte " + std::to_string(at) + ", ";
    switch (fault) {
        case EventFault::CutShort:
            return where + "an event runs past the end of its chunk; it is not read.";
        case EventFault::LongNumber:
            return where +
                   "a variable-length number runs past four bytes; the rest of the "
                   "track is not read.";
        case EventFault::NoStatus:
            return where +
                   "a data byte comes with no status in effect; the rest of the track "
                   "is not read.";
        case EventFault::HighDataByte:
            return where +
                   "a byte of 0x80 or above stands where a data byte is due; the rest "
                   "of the track is not read.";
        case EventFault::None:
            break;
    }
    return where + "the track is damaged.";
}

// Reads the events of one track chunk, the bytes from `begin` up to `end`,
// into track `state.TrackIndex`. Every event goes through DecodeEvent, first
// to count them (the track's storage is then taken once), then to store
// them. Returns the fault that stopped it, and in `stop` where it stood.
EventFault ReadTrackEvents(MidiFile& Song, ReadState& state, const uint8_t* file, int64_t begin,
                           int64_t end, int64_t file_length, const ReadProgress& progress,
                           int64_t& stop) {
    MidiTrack& track = Song.Track(state.TrackIndex);
    int32_t& count = Song.Count(state.TrackIndex);
    const std::string_view chunk(reinterpret_cast<const char*>(file + begin),
                                 static_cast<size_t>(end - begin));
    track.Reserve(static_cast<int32_t>(std::min<int64_t>(CountEvents(chunk), INT32_MAX)));
    PreferHugePages(track.Stored().data(), track.Stored().capacity() * sizeof(MidiEvent));
    const uint8_t* p = file + begin;
    const uint8_t* const stop_at = file + end;
    uint8_t running = 0;
    DecodedEvent e;
    EventFault fault = EventFault::None;
    try {
        while (p != stop_at) {
            const uint8_t* next = DecodeEvent(p, stop_at, running, e, fault);
            if (!next) break;
            StoreEvent(Song, state, track.Event(count), e);
            ++count;
            p = next;
            if (count % 512 == 0 && progress) progress(p - file, file_length);
        }
    } catch (const RuntimeError& error) {
        Raise(error.Kind(), "in " + TrackText(state.TrackIndex) + " at byte " +
                                std::to_string(p - file) +
                                (error.Detail().empty() ? "" : ": " + error.Detail()));
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

ReadOutcome ReadSong(MidiFile& Song, std::string_view bytes, int64_t file_length,
                     const ReadProgress& progress) {
    ReadOutcome outcome;
    auto damaged = [&](std::string text) {
        outcome.Result = ReadResult::Partial;
        outcome.Messages.push_back(std::move(text));
    };
    Song.FileLength = ToLong(file_length);

    ByteSource in(bytes);
    // A file that ends before the three header fields has no usable header.
    if (in.ReadBytes(4) != "MThd" || in.Length() < 14) {
        return {ReadResult::Failed, {std::string(kNoHeader)}};
    }
    int32_t header_length = 0;
    ReadLong(in, header_length);
    const int64_t first_chunk = in.Position() + header_length;
    MidiHeader header = ReadHeader(in);
    header.Length = header_length;
    Song.Header = header;

    // The chunk lengths as declared, but never more than the bytes that the
    // file holds: they size the song's arrays.
    const int64_t size = in.Length();
    const auto* file = reinterpret_cast<const uint8_t*>(bytes.data());
    auto chunk_length = [&](int64_t at, int16_t track_index) {
        in.Seek(at + 4);
        int32_t length = 0;
        try {
            ReadLong(in, length);
        } catch (const RuntimeError& e) {
            Raise(e.Kind(), "the length of the chunk of " + TrackText(track_index) + " at byte " +
                                std::to_string(at) + ": " + e.Detail());
        }
        return length;
    };
    int64_t longest = 0;
    for (int64_t t = 0, at = first_chunk; t < Song.Header.NumTracks && at + 8 <= size; ++t) {
        const int64_t length = chunk_length(at, static_cast<int16_t>(t));
        longest = std::max(longest, std::min(length, size - at - 8));
        at += 8 + length;
    }
    Song.EventSlots = ToLong(longest / 2 + 100);
    if (Song.Header.NumTracks > INT16_MAX - 2) {
        Raise(ErrorKind::Overflow, "the header announces " + std::to_string(Song.Header.NumTracks) +
                                       " tracks, more than 32765");
    }
    ResizeTracks(Song, Song.Header.NumTracks + 2, true);

    ReadState state;
    int64_t at = first_chunk;
    for (; state.TrackIndex < Song.Header.NumTracks; ++state.TrackIndex) {
        const int16_t t = state.TrackIndex;
        if (at + 8 > size) {
            // The chunk's id and length are not all there.
            if (at + 4 <= size && bytes.substr(static_cast<size_t>(at), 4) == "MTrk") {
                damaged(CutShortMessage(t));
            } else {
                damaged(std::string(kNoTrack) + std::to_string(t + 1));
            }
            return outcome;
        }
        const int64_t begin = at + 8;
        const int64_t end = begin + chunk_length(at, t);
        at = end;
        if (bytes.substr(static_cast<size_t>(begin - 8), 4) != "MTrk") {
            damaged(std::string(kNoTrack) + std::to_string(t + 1));
            continue;
        }
        state.AbsTime = 0;
        int64_t stop = begin;
        const EventFault fault =
            ReadTrackEvents(Song, state, file, begin, std::min(end, size), size, progress, stop);
        if (end > size) {
            damaged(CutShortMessage(t));
            return outcome;
        }
        if (fault != EventFault::None) damaged(FaultMessage(fault, t, stop));
    }
    // Track chunks beyond those that the header announces are not read;
    // other bytes after the last track (padding, a container's rest) are
    // not the song's.
    int extra = 0;
    const int64_t extra_at = at;
    while (at + 8 <= size && bytes.substr(static_cast<size_t>(at), 4) == "MTrk") {
        ++extra;
        try {
            at += 8 + chunk_length(at, static_cast<int16_t>(Song.Header.NumTracks + extra - 1));
        } catch (const RuntimeError&) {
            break;  // a length beyond any file: the rest is not a chunk
        }
    }
    if (extra > 0) {
        damaged(std::to_string(extra) + " more track chunk" + (extra > 1 ? "s" : "") +
                " from byte " + std::to_string(extra_at) + " beyond the " +
                std::to_string(Song.Header.NumTracks) + " that the header announces; not read.");
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
        Raise(ErrorKind::FileAccess, FileName + ": not a regular file");
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
            Raise(ErrorKind::FileAccess, FileName + ": only " + std::to_string(hole) + " of its " +
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
    PreferHugePages(content.data.get(), capacity);
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

std::string ReadOutcome::Message() const {
    std::string text;
    for (const std::string& line : Messages) {
        if (!text.empty()) text += "\n";
        text += line;
    }
    return text;
}

std::string LoadFileBytes(const std::string& FileName) {
    return std::string(LoadFile(FileName).view());
}

ReadOutcome ReadMidiBytes(MidiFile& Song, std::string_view Bytes, const ReadProgress& Progress) {
    try {
        return ReadSong(Song, UnwrapRiffMidi(Bytes), static_cast<int64_t>(Bytes.size()), Progress);
    } catch (const RuntimeError&) {
        return {ReadResult::Failed, {CurrentErrorMessage()}};
    } catch (const std::bad_alloc&) {
        // Anything else (a caller's progress callback that stops the read)
        // goes on to the caller.
        return {ReadResult::Failed, {CurrentErrorMessage()}};
    }
}

ReadOutcome ReadMidiFile(MidiFile& Song, const std::string& FileName,
                         const ReadProgress& Progress) {
    FileContent bytes;
    try {
        bytes = LoadFile(FileName);
    } catch (const RuntimeError&) {
        return {ReadResult::Failed, {CurrentErrorMessage()}};
    } catch (const std::bad_alloc&) {
        return {ReadResult::Failed, {CurrentErrorMessage()}};
    }
    return ReadMidiBytes(Song, bytes.view(), Progress);
}

}  // namespace verselane
