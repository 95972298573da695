#include "reader/midi_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <new>

#include "model/errors.h"
#include "reader/event_decoding.h"
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

// How many events a track chunk holds, by the same grammar as the event step
// but without storing anything: lets the track's storage be taken once.
int64_t CountEvents(std::string_view chunk) {
    int64_t count = 0;
    size_t pos = 0;
    uint8_t run_kind = 0;
    auto vlq = [&]() {
        int64_t value = 0;
        for (int i = 0; i < 4 && pos < chunk.size(); ++i) {
            uint8_t b = static_cast<uint8_t>(chunk[pos++]);
            value = value * 128 + (b & 0x7F);
            if (!(b & 0x80)) break;
        }
        return value;
    };
    while (pos < chunk.size()) {
        vlq();
        if (pos >= chunk.size()) break;
        uint8_t status = static_cast<uint8_t>(chunk[pos++]);
        if (status == 0xFF) ++pos;
        if (status == 0xF0 || status == 0xF7 || status == 0xFF) {
            pos += static_cast<size_t>(vlq());
        } else if (status >= 0x80) {
            run_kind = (status & 0x7F) / 16;
            pos += static_cast<size_t>(DataBytesOfKind(run_kind));
        } else if (DataBytesOfKind(run_kind) == 2) {
            ++pos;
        }
        ++count;
    }
    return count;
}

std::string CutShortMessage(int16_t track_index) {
    return "File is cut short inside track " + std::to_string(track_index + 1) + ".";
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

std::string ReadSong(MidiFile& Song, ByteSource& in, int64_t file_length,
                     const ReadProgress& progress) {
    Song.FileLength = ToLong(file_length);

    if (in.ReadBytes(4) != "MThd") return std::string(kNoHeader);
    // A file that ends before the three header fields has no usable header.
    if (in.Length() < 14) return std::string(kNoHeader);
    int32_t header_length = 0;
    ReadLong(in, header_length);
    const int32_t first_chunk = AddLong(ToLong(in.Position()), header_length);
    MidiHeader header = ReadHeader(in);
    header.Length = header_length;
    Song.Header = header;
    in.Seek(first_chunk);

    std::string message;
    int32_t longest = 0;
    for (int32_t i = 1; i <= Song.Header.NumTracks; ++i) {
        std::string_view type = in.ReadBytes(4);
        int32_t length = 0;
        ReadLong(in, length);
        if (type == "MTrk") {
            if (length > longest) longest = length;
        } else {
            message = std::string(kNoTrack) + std::to_string(i);
        }
        in.Seek(AddLong(ToLong(in.Position()), length));
    }

    Song.EventSlots = AddLong(longest / 2, 100);
    ResizeTracks(Song, AddInteger(Song.Header.NumTracks, 2), true);

    ReadState state;
    int32_t next_chunk = first_chunk;
    while (!in.Eof() && state.TrackIndex < Song.Header.NumTracks) {
        in.Seek(next_chunk);
        state.RunKind = 0;
        std::string_view type = in.ReadBytes(4);
        int32_t length = 0;
        ReadLong(in, length);
        const int32_t track_end = AddLong(ToLong(in.Position()), length);
        if (type == "MTrk") {
            // The file ends inside the chunk's length field: its length is
            // unknown, so nothing of the track can be read.
            if (in.Eof()) return CutShortMessage(state.TrackIndex);
            state.AbsTime = 0;
            MidiTrack& track = Song.Track(state.TrackIndex);
            track.Reserve(static_cast<int32_t>(
                std::min<int64_t>(CountEvents(in.Slice(in.Position(), track_end)), INT32_MAX)));
            int32_t& count = Song.Count(state.TrackIndex);
            while (in.Position() < track_end) {
                if (ReadEvent(Song, in, state) == EventStep::CutShort) {
                    return CutShortMessage(state.TrackIndex);
                }
                count = AddLong(count, 1);
                if (count % 512 == 0 && progress) progress(in.Position(), in.Length());
            }
        }
        next_chunk = track_end;
        state.TrackIndex = AddInteger(state.TrackIndex, 1);
    }
    return message;
}

}  // namespace

std::string LoadFileBytes(const std::string& FileName) {
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
    if (S_ISREG(st.st_mode) && st.st_size > kLongest) Raise(ErrorKind::Overflow, FileName);
    std::string bytes;
    if (S_ISREG(st.st_mode)) bytes.reserve(static_cast<size_t>(st.st_size));
    char buffer[1 << 16];
    for (;;) {
        ssize_t got = ::read(file.get(), buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) continue;
            RaiseFileError(errno, FileName);
        }
        if (got == 0) break;
        if (static_cast<int64_t>(bytes.size()) + got > kLongest)
            Raise(ErrorKind::Overflow, FileName);
        bytes.append(buffer, static_cast<size_t>(got));
    }
    return bytes;
}

std::string ReadMidiBytes(MidiFile& Song, std::string_view Bytes, const ReadProgress& Progress) {
    try {
        ByteSource in(UnwrapRiffMidi(Bytes));
        return ReadSong(Song, in, static_cast<int64_t>(Bytes.size()), Progress);
    } catch (const RuntimeError& e) {
        return std::string(kErrorPrefix) + e.what();
    } catch (const std::bad_alloc&) {
        return std::string(kErrorPrefix) + ErrorKindText(ErrorKind::OutOfMemory);
    }
}

std::string ReadMidiFile(MidiFile& Song, const std::string& FileName,
                         const ReadProgress& Progress) {
    std::string bytes;
    try {
        bytes = LoadFileBytes(FileName);
    } catch (const RuntimeError& e) {
        return std::string(kErrorPrefix) + e.what();
    } catch (const std::bad_alloc&) {
        return std::string(kErrorPrefix) + ErrorKindText(ErrorKind::OutOfMemory);
    }
    return ReadMidiBytes(Song, bytes, Progress);
}

}  // namespace verselane
