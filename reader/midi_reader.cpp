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

// Data bytes that follow a channel message's status, by kind (0 to 7).
constexpr uint8_t kDataBytes[8] = {2, 2, 2, 2, 1, 1, 2, 0};
// The longest message without a body: four delta bytes, a status, two data.
constexpr int64_t kLongestMessage = 7;

// How many events a track chunk holds, by the same grammar as the event
// step but without storing anything, so that the track's storage is taken
// once and at its size. Most events are channel messages, counted here with
// few branches; the rest, and the last bytes of the chunk, byte by byte.
int64_t CountEvents(std::string_view chunk) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(chunk.data());
    const size_t size = chunk.size();
    int64_t count = 0;
    size_t pos = 0;
    uint8_t run_kind = 0;
    auto vlq = [&]() {
        int64_t value = 0;
        for (int i = 0; i < 4 && pos < size; ++i) {
            uint8_t b = bytes[pos++];
            value = value * 128 + (b & 0x7F);
            if (!(b & 0x80)) break;
        }
        return value;
    };
    while (pos < size) {
        if (pos + kLongestMessage <= size) {
            const uint8_t* p = bytes + pos;
            // Length of the delta time, one to four bytes, without a branch.
            const unsigned c0 = p[0] >> 7, c1 = c0 & (p[1] >> 7), c2 = c1 & (p[2] >> 7);
            const size_t n = 1 + c0 + c1 + c2;
            const uint8_t status = p[n];
            if (status != 0xF0 && status != 0xF7 && status != 0xFF) {
                const int has_status = status >> 7;
                run_kind = has_status ? (status & 0x7F) >> 4 : run_kind;
                pos += n + has_status + std::max<int>(kDataBytes[run_kind], 1 - has_status);
                ++count;
                continue;
            }
        }
        vlq();
        if (pos >= size) break;
        uint8_t status = bytes[pos++];
        if (status == 0xFF) ++pos;
        if (status == 0xF0 || status == 0xF7 || status == 0xFF) {
            pos += static_cast<size_t>(vlq());
        } else if (status >= 0x80) {
            run_kind = (status & 0x7F) / 16;
            pos += kDataBytes[run_kind];
        } else if (kDataBytes[run_kind] == 2) {
            ++pos;
        }
        ++count;
    }
    return count;
}

// Reads the events of the current track chunk up to `track_end` into the
// song. Channel and system messages (nearly every event of a song) are
// decoded here straight from the bytes, by the same rules as ReadEvent;
// sysex, escape and meta events, and any event near the end of the file,
// go through ReadEvent itself. Returns false when the file ends inside an
// event.
bool ReadTrackEvents(MidiFile& Song, ByteSource& in, ReadState& state, int64_t track_end,
                     const ReadProgress& progress) {
    MidiTrack& track = Song.Track(state.TrackIndex);
    int32_t& stored_count = Song.Count(state.TrackIndex);
    const auto* bytes = reinterpret_cast<const uint8_t*>(in.Bytes().data());
    const int64_t fast_limit = in.Length() - kLongestMessage;
    // The state of the read, kept in locals while channel messages are
    // decoded here and handed back whenever ReadEvent takes over, at the end
    // and when an error leaves.
    int32_t count = stored_count;
    int32_t abs_time = state.AbsTime;
    uint8_t run_kind = state.RunKind;
    uint8_t run_channel = state.RunChannel;
    int64_t pos = in.Position();
    auto hand_back = [&] {
        stored_count = count;
        state.AbsTime = abs_time;
        state.RunKind = run_kind;
        state.RunChannel = run_channel;
        if (pos != in.Position()) in.Seek(pos);
    };
    try {
        while (pos < track_end) {
            bool decoded = false;
            if (pos <= fast_limit) {
                const uint8_t* p = bytes + pos;
                // The delta time: one to four bytes, as ReadVarLenBytes takes them.
                int32_t delta = p[0] & 0x7F;
                int n = 1;
                if (p[0] & 0x80) {
                    uint8_t b;
                    do {
                        b = p[n++];
                        delta = delta * 128 + (b & 0x7F);
                    } while ((b & 0x80) && n < 4);
                }
                const uint8_t status = p[n];
                if (status != 0xF0 && status != 0xF7 && status != 0xFF) {
                    // A full track is an error before anything of the event
                    // is read; the slot itself is taken only for a whole event.
                    if (count > track.Upper()) Raise(ErrorKind::SubscriptOutOfRange);
                    const int32_t time = AddLong(abs_time, delta);
                    MidiEvent& e = track.Event(count);
                    // A status byte sets the running status; a data byte in
                    // its place is the first data byte of a message that
                    // repeats it. Both without a branch: they come at random.
                    const int has_status = status >> 7;
                    run_kind = has_status ? (status & 0x7F) >> 4 : run_kind;
                    run_channel = has_status ? status & 0x0F : run_channel;
                    const uint8_t* data = p + n + has_status;
                    const uint8_t data_bytes = kDataBytes[run_kind];
                    e.Time = time;
                    e.Kind = run_kind;
                    e.Channel = run_channel;
                    e.Data1 = data_bytes >= 1 ? data[0] : 0;
                    e.Data2 = data_bytes >= 2 ? data[1] : 0;
                    abs_time = time;
                    // With its status: delta, status, data. Without: delta
                    // and at least the one byte that stood in for the status.
                    pos += n + has_status + std::max<int>(data_bytes, 1 - has_status);
                    decoded = true;
                }
            }
            if (!decoded) {
                hand_back();
                if (ReadEvent(Song, in, state) == EventStep::CutShort) return false;
                pos = in.Position();
                abs_time = state.AbsTime;
                run_kind = state.RunKind;
                run_channel = state.RunChannel;
            }
            ++count;
            if (count % 512 == 0 && progress) {
                hand_back();
                progress(pos, in.Length());
            }
        }
    } catch (...) {
        hand_back();
        throw;
    }
    hand_back();
    return true;
}

constexpr std::string_view kCutShort = "File is cut short inside track ";

std::string CutShortMessage(int16_t track_index) {
    return std::string(kCutShort) + std::to_string(track_index + 1) + ".";
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
            PreferHugePages(track.Stored().data(), track.Stored().capacity() * sizeof(MidiEvent));
            if (!ReadTrackEvents(Song, in, state, track_end, progress)) {
                return CutShortMessage(state.TrackIndex);
            }
        }
        next_chunk = track_end;
        state.TrackIndex = AddInteger(state.TrackIndex, 1);
    }
    return message;
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
    if (S_ISREG(st.st_mode) && st.st_size > kLongest) Raise(ErrorKind::Overflow, FileName);
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
                Raise(ErrorKind::Overflow, FileName);
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

bool SongWasRead(std::string_view Message) {
    return Message.empty() || Message.starts_with(kCutShort) || Message.starts_with(kNoTrack);
}

std::string LoadFileBytes(const std::string& FileName) {
    return std::string(LoadFile(FileName).view());
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
    FileContent bytes;
    try {
        bytes = LoadFile(FileName);
    } catch (const RuntimeError& e) {
        return std::string(kErrorPrefix) + e.what();
    } catch (const std::bad_alloc&) {
        return std::string(kErrorPrefix) + ErrorKindText(ErrorKind::OutOfMemory);
    }
    return ReadMidiBytes(Song, bytes.view(), Progress);
}

}  // namespace verselane
