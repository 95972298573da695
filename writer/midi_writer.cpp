#include "writer/midi_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <utility>

#include "model/errors.h"
#include "reader/huge_pages.h"
#include "writer/number_writing.h"

namespace verselane {

namespace {

[[noreturn]] void RaiseFileError(int err, const std::string& what) {
    Raise(ErrorKind::FileAccess, what + ": " + std::strerror(err));
}

std::string DirectoryOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// Writes to an open file at given offsets. A failure is remembered rather
// than raised, so that an error of the song being encoded, met later, still
// comes first; Check raises the first failure.
class FileSink {
  public:
    FileSink(int fd, std::string name) : fd_(fd), name_(std::move(name)) {}

    void Write(std::string_view bytes) {
        if (!Ready()) return;
        size_t done = 0;
        while (done < bytes.size()) {
            ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
            if (n < 0) {
                if (errno == EINTR) continue;
                return Fail(errno);
            }
            done += static_cast<size_t>(n);
        }
    }
    void WriteAt(int64_t offset, std::string_view bytes) {
        if (!Ready()) return;
        size_t done = 0;
        while (done < bytes.size()) {
            ssize_t n = ::pwrite(fd_, bytes.data() + done, bytes.size() - done,
                                 static_cast<off_t>(offset + static_cast<int64_t>(done)));
            if (n < 0) {
                if (errno == EINTR) continue;
                return Fail(errno);
            }
            done += static_cast<size_t>(n);
        }
    }
    void Check() const {
        if (error_ != 0) RaiseFileError(error_, name_);
    }

  protected:
    // Whether writing can go on; a file opened late opens here.
    virtual bool Ready() { return error_ == 0; }
    void Fail(int err) {
        if (error_ == 0) error_ = err;
    }

    int fd_;
    int error_ = 0;
    std::string name_;
};

// A new file beside `target` under a temporary name, created with the first
// bytes written and renamed over the target once it is complete. The
// temporary file never outlives a failure.
class TempFile : public FileSink {
  public:
    explicit TempFile(const std::string& target) : FileSink(-1, target), target_(target) {
        // Writing to a symbolic link replaces the file it points to, not the
        // link; the new file keeps the mode and owner of the one it replaces.
        struct stat st;
        if (::lstat(target.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
            if (char* real = ::realpath(target.c_str(), nullptr)) {
                target_ = real;
                std::free(real);
            }
        }
        if (::stat(target_.c_str(), &st) == 0 && S_ISREG(st.st_mode)) replaced_ = st;
    }
    ~TempFile() { Discard(); }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    // Flushes the file to disk and renames it over the target.
    void Commit() {
        if (Ready() && ::fsync(fd_) != 0) Fail(errno);
        if (fd_ >= 0 && ::close(fd_) != 0) Fail(errno);
        fd_ = -1;
        if (error_ == 0 && ::rename(temp_.c_str(), target_.c_str()) != 0) Fail(errno);
        if (error_ != 0) Discard();
        Check();
        temp_.clear();
        // The rename itself reaches the disk with the folder's entry.
        int dir = ::open(DirectoryOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir >= 0) {
            ::fsync(dir);
            ::close(dir);
        }
    }

  private:
    bool Ready() override {
        if (error_ != 0) return false;
        if (fd_ >= 0) return true;
        struct stat st;
        if (::stat(name_.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            Fail(EISDIR);
            return false;
        }
        static std::atomic<unsigned> counter{0};
        for (int attempt = 0; fd_ < 0; ++attempt) {
            temp_ = DirectoryOf(target_) + "/.verselane-" + std::to_string(::getpid()) + "-" +
                    std::to_string(counter++) + ".tmp";
            fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd_ < 0 && (errno != EEXIST || attempt > 100)) {
                Fail(errno);
                temp_.clear();
                return false;
            }
        }
        if (replaced_) {
            if (::fchown(fd_, replaced_->st_uid, replaced_->st_gid) != 0) {
                // Only root may give a file away; the new file then stays ours.
            }
            ::fchmod(fd_, replaced_->st_mode & 07777);
        }
        return true;
    }
    void Discard() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
        if (!temp_.empty()) ::unlink(temp_.c_str());
        temp_.clear();
    }

    std::string temp_;
    std::string target_;                   // the file the rename replaces
    std::optional<struct stat> replaced_;  // that file as it was, if it was one
};

// The encoded bytes on their way out. They collect in a buffer; with a file
// the buffer is handed to it whenever it fills, so a song of any size is
// written through a buffer of fixed size; without one everything collects.
class Output {
  public:
    static constexpr size_t kFileBuffer = size_t{1} << 20;

    // Into a file through a buffer of kFileBuffer bytes, or all into memory,
    // where `expected` bytes are taken at once. The file's buffer is not
    // cleared first: a small song touches only the part of it that it uses.
    explicit Output(FileSink* file, size_t expected = 0) : file_(file) {
        if (file_) {
            block_ = std::make_unique_for_overwrite<char[]>(kFileBuffer);
            data_ = block_.get();
            size_ = kFileBuffer;
        } else {
            text_.reserve(expected);
            PreferHugePages(text_.data(), expected);
            text_.resize(expected);
            data_ = text_.data();
            size_ = text_.size();
        }
    }

    // Room for at least `n` more bytes at the returned cursor; Advance then
    // says how far the cursor got.
    char* Room(size_t n) {
        if (size_ - used_ < n) MakeRoom(n);
        return data_ + used_;
    }
    void Advance(const char* cursor) { used_ = static_cast<size_t>(cursor - data_); }
    // The end of the room that the last Room call gave.
    char* End() { return data_ + size_; }
    // Offset of the next byte from the start of the file.
    int64_t Offset() const { return drained_ + static_cast<int64_t>(used_); }
    // Overwrites bytes written earlier (a track's length, once it is known).
    void Patch(int64_t offset, std::string_view bytes) {
        size_t in_file = 0;
        if (offset < drained_) {
            in_file = static_cast<size_t>(std::min<int64_t>(drained_ - offset, bytes.size()));
            file_->WriteAt(offset, bytes.substr(0, in_file));
        }
        if (in_file < bytes.size()) {
            std::memcpy(data_ + (offset + in_file - drained_), bytes.data() + in_file,
                        bytes.size() - in_file);
        }
    }
    void Flush() {
        if (file_ && used_ > 0) file_->Write(std::string_view(data_, used_));
        drained_ += static_cast<int64_t>(used_);
        used_ = 0;
    }
    // Everything written, when there is no file.
    std::string Take() {
        text_.resize(used_);
        return std::move(text_);
    }

  private:
    void MakeRoom(size_t n) {
        if (file_) {
            Flush();
            if (size_ < n) {  // one body longer than the whole buffer
                size_ = std::max(size_ * 2, n);
                block_ = std::make_unique_for_overwrite<char[]>(size_);
                data_ = block_.get();
            }
            return;
        }
        text_.resize(std::max(text_.size() * 2, used_ + n));
        data_ = text_.data();
        size_ = text_.size();
    }

    FileSink* file_;
    std::unique_ptr<char[]> block_;  // the buffer towards a file
    std::string text_;               // everything, without a file
    char* data_ = nullptr;
    size_t size_ = 0;
    size_t used_ = 0;
    int64_t drained_ = 0;
};

// The variable-length quantity of 0 to 0x0FFFFFFF, as WriteVarLen writes it.
inline char* PutVarLen(char* p, int32_t value) {
    if (value < 0x80) {
        if (value < 0) Raise(ErrorKind::Overflow);
        *p++ = static_cast<char>(value);
        return p;
    }
    if (value > 0x0FFFFFFF) Raise(ErrorKind::Overflow);
    if (value >= 0x200000) *p++ = static_cast<char>(0x80 | (value >> 21));
    if (value >= 0x4000) *p++ = static_cast<char>(0x80 | ((value >> 14) & 0x7F));
    *p++ = static_cast<char>(0x80 | ((value >> 7) & 0x7F));
    *p++ = static_cast<char>(value & 0x7F);
    return p;
}

inline char* PutLong(char* p, int32_t value) {
    if (value < 0) Raise(ErrorKind::Overflow);
    p[0] = static_cast<char>(value >> 24);
    p[1] = static_cast<char>(value >> 16);
    p[2] = static_cast<char>(value >> 8);
    p[3] = static_cast<char>(value);
    return p + 4;
}

// Room enough for any event but the body of a sysex, escape or meta event:
// delta (4), status and type (2), length (4).
constexpr size_t kEventHead = 10;

// Writes one event (without its delta) at `p`, which has room for its head.
char* PutEvent(Output& out, char* p, const MidiEvent& e, uint8_t& last_status) {
    switch (e.Kind) {
        case kKindSysEx:
        case kKindEscape: {
            const std::string_view body = e.Data.view();
            *p++ = static_cast<char>(e.Kind);
            p = PutVarLen(p, ToLong(static_cast<int64_t>(body.size())));
            last_status = 0;  // sysex and escape events cancel running status
            if (body.empty()) return p;
            out.Advance(p);
            p = out.Room(body.size());
            std::memcpy(p, body.data(), body.size());
            return p + body.size();
        }
        case kKindMeta: {
            *p++ = static_cast<char>(0xFF);
            *p++ = static_cast<char>(e.Channel);
            last_status = 0;  // so do meta events
            if (e.Channel == kMetaEndOfTrack) {
                *p++ = 0;
                return p;
            }
            const std::string_view body = e.Data.view();
            p = PutVarLen(p, ToLong(static_cast<int64_t>(body.size())));
            if (body.empty()) return p;
            out.Advance(p);
            p = out.Room(body.size());
            std::memcpy(p, body.data(), body.size());
            return p + body.size();
        }
        case kKindSystem: {
            // 0xF0, 0xF7 and 0xFF would turn the event into another kind.
            if (e.Channel == 0x0 || e.Channel == 0x7 || e.Channel >= 0xF) {
                Raise(ErrorKind::InvalidArgument);
            }
            uint8_t status = static_cast<uint8_t>(0xF0 + e.Channel);
            *p++ = static_cast<char>(status);
            last_status = status;
            return p;
        }
        default:
            break;
    }
    if (e.Kind > 6 || e.Channel > 15) Raise(ErrorKind::Overflow);
    uint8_t status = static_cast<uint8_t>(0x80 + 16 * e.Kind + e.Channel);
    if (e.Time == 0 || status != last_status) *p++ = static_cast<char>(status);
    last_status = status;
    *p++ = static_cast<char>(e.Data1);
    if (e.Kind != 4 && e.Kind != 5) *p++ = static_cast<char>(e.Data2);
    return p;
}

// Whether the last of the `count` events of the track is an end of track.
bool EndsWithEndOfTrack(const MidiTrack& track, int32_t count) {
    if (count <= 0) return false;
    const MidiEvent& last = track.Event(count - 1);
    return last.Kind == kKindMeta && last.Channel == kMetaEndOfTrack;
}

// Data bytes of a channel message after its status, by kind 0 to 6.
constexpr uint8_t kChannelDataBytes[7] = {2, 2, 2, 2, 1, 1, 2};

void PutTrack(Output& out, const MidiFile& song, int32_t t) {
    const MidiTrack& track = song.Track(t);
    const int32_t count = song.Count(t);
    char* p = out.Room(8);
    std::memcpy(p, "MTrk", 4);
    out.Advance(p + 4);
    const int64_t length_position = out.Offset();
    out.Advance(PutLong(p + 4, 0));

    // The stored events are taken straight from the array; any index beyond
    // them goes through Event(), which gives an empty event or raises
    // SubscriptOutOfRange past the bounds.
    const MidiEvent* stored = track.Stored().data();
    const int32_t direct = std::min<int32_t>(count, static_cast<int32_t>(track.Stored().size()));
    uint8_t last_status = 0;
    int32_t latest = 0;  // the latest time written so far in this track
    p = out.Room(kEventHead);
    char* end = out.End();
    for (int32_t i = 0; i < count; ++i) {
        const MidiEvent& e = i < direct ? stored[i] : track.Event(i);
        if (end - p < static_cast<ptrdiff_t>(kEventHead)) {
            out.Advance(p);
            p = out.Room(kEventHead);
            end = out.End();
        }
        // An event stored out of order is written at the time of the one
        // before it; every other event keeps its own time.
        const int32_t delta = static_cast<int32_t>(std::max<int64_t>(int64_t{e.Time} - latest, 0));
        latest = std::max(latest, e.Time);
        p = PutVarLen(p, delta);
        if (e.Kind <= 6 && e.Channel <= 15) {
            // A channel message, the bulk of any song: its status byte is left
            // out when it repeats the last one (running status), except at
            // time 0 and before a first data byte with bit 7 set, which would
            // be read as a status byte. Written without branches, as kinds
            // come in any order.
            const uint8_t status = static_cast<uint8_t>(0x80 + 16 * e.Kind + e.Channel);
            *p = static_cast<char>(status);
            p += (e.Time == 0) | (status != last_status) | (e.Data1 >= 0x80);
            last_status = status;
            p[0] = static_cast<char>(e.Data1);
            p[1] = static_cast<char>(e.Data2);
            p += kChannelDataBytes[e.Kind];
        } else {
            out.Advance(p);
            p = PutEvent(out, out.Room(kEventHead), e, last_status);
            end = out.End();
        }
    }
    // Every track ends with an end-of-track event: a song whose track lacks
    // one (a cut-off file, a track built in memory) gets it here, at the time
    // of the last event, so that readers do not run on into the next chunk.
    if (!EndsWithEndOfTrack(track, count)) {
        if (end - p < 4) {
            out.Advance(p);
            p = out.Room(4);
        }
        std::memcpy(p, "\x00\xFF\x2F\x00", 4);
        p += 4;
    }
    out.Advance(p);
    char length[4];
    PutLong(length, ToLong(out.Offset() - length_position - 4));
    out.Patch(length_position, std::string_view(length, 4));
}

void PutSong(Output& out, const MidiFile& Song) {
    char* p = out.Room(14);
    std::memcpy(p, "MThd", 4);
    p = PutLong(p + 4, 6);
    for (int16_t field : {Song.Header.Format, Song.Header.NumTracks, Song.Header.Division}) {
        if (field < 0) Raise(ErrorKind::Overflow);
        *p++ = static_cast<char>(field >> 8);
        *p++ = static_cast<char>(field & 0xFF);
    }
    out.Advance(p);
    const int16_t tracks = Song.Header.NumTracks;
    for (int32_t t = 0; t < tracks; ++t) PutTrack(out, Song, t);
}

// Bytes of the variable-length quantity of `value` (0 to 0x0FFFFFFF).
inline int64_t VarLenSize(int64_t value) {
    return value < 0x80 ? 1 : value < 0x4000 ? 2 : value < 0x200000 ? 3 : 4;
}

// The number of bytes PutSong writes for the song, worked out the same way
// without writing anything, so that a song encoded into memory takes its
// buffer once. Only a hint: for a song that cannot be encoded (PutSong then
// raises) it may be anything.
int64_t EncodedSize(const MidiFile& song) {
    int64_t size = 14;
    const int16_t tracks = song.Header.NumTracks;
    for (int32_t t = 0; t < tracks && t < static_cast<int32_t>(song.Tracks.size()); ++t) {
        const std::vector<MidiEvent>& events = song.Tracks[t].Stored();
        const int32_t count =
            std::min<int32_t>(song.EventCount[t], static_cast<int32_t>(events.size()));
        size += 8;
        if (count == 0 || events[count - 1].Kind != kKindMeta ||
            events[count - 1].Channel != kMetaEndOfTrack) {
            size += 4;  // the end of track that PutTrack adds
        }
        uint8_t last_status = 0;
        int32_t latest = 0;
        for (int32_t i = 0; i < count; ++i) {
            const MidiEvent& e = events[i];
            size += VarLenSize(std::max<int64_t>(int64_t{e.Time} - latest, 0));
            latest = std::max(latest, e.Time);
            if (e.Kind <= 6 && e.Channel <= 15) {
                const uint8_t status = static_cast<uint8_t>(0x80 + 16 * e.Kind + e.Channel);
                size += ((e.Time == 0) | (status != last_status) | (e.Data1 >= 0x80)) +
                        kChannelDataBytes[e.Kind];
                last_status = status;
            } else if (e.Kind == kKindMeta && e.Channel == kMetaEndOfTrack) {
                size += 3;
                last_status = 0;
            } else if (e.Kind == kKindMeta || e.Kind == kKindSysEx || e.Kind == kKindEscape) {
                const int64_t body = static_cast<int64_t>(e.Data.size());
                size += (e.Kind == kKindMeta ? 2 : 1) + VarLenSize(body) + body;
                last_status = 0;
            } else if (e.Kind == kKindSystem) {
                size += 1;
                last_status = static_cast<uint8_t>(0xF0 + e.Channel);
            }
        }
    }
    return size;
}

}  // namespace

std::string EncodeMidiFile(const MidiFile& Song) {
    Output out(nullptr, static_cast<size_t>(EncodedSize(Song)));
    PutSong(out, Song);
    return out.Take();
}

void WriteMidiFileTo(const MidiFile& Song, int Fd, const std::string& FileName) {
    FileSink file(Fd, FileName);
    Output out(&file);
    PutSong(out, Song);
    out.Flush();
    file.Check();
}

std::string WriteMidiFile(const MidiFile& Song, const std::string& FileName) {
    try {
        TempFile file(FileName);
        Output out(&file);
        PutSong(out, Song);
        out.Flush();
        file.Commit();
        return {};
    } catch (const RuntimeError& e) {
        return std::string(kErrorPrefix) + e.what();
    } catch (const std::bad_alloc&) {
        return std::string(kErrorPrefix) + ErrorKindText(ErrorKind::OutOfMemory);
    }
}

}  // namespace verselane
