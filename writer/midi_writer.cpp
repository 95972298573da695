#include "writer/midi_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <new>

#include "model/errors.h"
#include "writer/number_writing.h"

namespace verselane {

namespace {

void WriteEvent(std::string& out, const MidiEvent& e, uint8_t& last_status) {
    switch (e.Kind) {
        case kKindSysEx:
        case kKindEscape:
            out.push_back(static_cast<char>(e.Kind));
            WriteVarLen(out, ToLong(static_cast<int64_t>(e.Data.size())));
            out.append(e.Data.view());
            last_status = 0;  // sysex and escape events cancel running status
            return;
        case kKindMeta:
            out.push_back(static_cast<char>(0xFF));
            out.push_back(static_cast<char>(e.Channel));
            if (e.Channel == kMetaEndOfTrack) {
                out.push_back(0);
            } else {
                WriteVarLen(out, ToLong(static_cast<int64_t>(e.Data.size())));
                out.append(e.Data.view());
            }
            last_status = 0;  // so do meta events
            return;
        case kKindSystem: {
            // 0xF0, 0xF7 and 0xFF would turn the event into another kind.
            if (e.Channel == 0x0 || e.Channel == 0x7 || e.Channel >= 0xF) {
                Raise(ErrorKind::InvalidArgument);
            }
            uint8_t status = static_cast<uint8_t>(0xF0 + e.Channel);
            out.push_back(static_cast<char>(status));
            last_status = status;
            return;
        }
        default:
            break;
    }
    if (e.Kind > 6 || e.Channel > 15) Raise(ErrorKind::Overflow);
    uint8_t status = static_cast<uint8_t>(0x80 + 16 * e.Kind + e.Channel);
    // A first data byte with bit 7 set would be read as a status byte, so such
    // an event always carries its own status.
    if (e.Time == 0 || status != last_status || e.Data1 >= 0x80) {
        out.push_back(static_cast<char>(status));
    }
    last_status = status;
    out.push_back(static_cast<char>(e.Data1));
    if (e.Kind != 4 && e.Kind != 5) out.push_back(static_cast<char>(e.Data2));
}

void WriteTrack(std::string& out, const MidiFile& song, int32_t t) {
    const MidiTrack& track = song.Track(t);
    const int32_t count = song.Count(t);
    out.append("MTrk");
    const size_t length_position = out.size();
    WriteLong(out, 0);
    uint8_t last_status = 0;
    int32_t latest = 0;  // the latest time written so far in this track
    for (int32_t i = 0; i < count; ++i) {
        const MidiEvent& e = track.Event(i);
        // An event stored out of order is written at the time of the one
        // before it; every other event keeps its own time.
        int32_t delta = e.Time > latest ? e.Time - latest : 0;
        latest = std::max(latest, e.Time);
        WriteVarLen(out, delta);
        WriteEvent(out, e, last_status);
    }
    int64_t length = static_cast<int64_t>(out.size() - length_position) - 4;
    std::string patched;
    WriteLong(patched, ToLong(length));
    out.replace(length_position, 4, patched);
}

[[noreturn]] void RaiseFileError(int err, const std::string& what) {
    Raise(ErrorKind::FileAccess, what + ": " + std::strerror(err));
}

std::string DirectoryOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

}  // namespace

std::string EncodeMidiFile(const MidiFile& Song) {
    std::string out;
    out.append("MThd");
    WriteLong(out, 6);
    WriteInteger(out, Song.Header.Format);
    WriteInteger(out, Song.Header.NumTracks);
    WriteInteger(out, Song.Header.Division);
    const int16_t tracks = Song.Header.NumTracks;
    for (int32_t t = 0; t < tracks; ++t) WriteTrack(out, Song, t);
    return out;
}

void ReplaceFileContents(const std::string& FileName, std::string_view Bytes) {
    struct stat st;
    if (::stat(FileName.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        RaiseFileError(EISDIR, FileName);
    }
    static std::atomic<unsigned> counter{0};
    std::string temp;
    int fd = -1;
    for (int attempt = 0; fd < 0; ++attempt) {
        temp = DirectoryOf(FileName) + "/.verselane-" + std::to_string(::getpid()) + "-" +
               std::to_string(counter++) + ".tmp";
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && (errno != EEXIST || attempt > 100)) RaiseFileError(errno, FileName);
    }
    auto fail = [&](int err) {
        ::close(fd);
        ::unlink(temp.c_str());
        RaiseFileError(err, FileName);
    };
    size_t done = 0;
    while (done < Bytes.size()) {
        ssize_t n = ::write(fd, Bytes.data() + done, Bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            fail(errno);
        }
        done += static_cast<size_t>(n);
    }
    if (::fsync(fd) != 0) fail(errno);
    if (::close(fd) != 0) {
        int err = errno;
        ::unlink(temp.c_str());
        RaiseFileError(err, FileName);
    }
    if (::rename(temp.c_str(), FileName.c_str()) != 0) {
        int err = errno;
        ::unlink(temp.c_str());
        RaiseFileError(err, FileName);
    }
}

std::string WriteMidiFile(const MidiFile& Song, const std::string& FileName) {
    try {
        ReplaceFileContents(FileName, EncodeMidiFile(Song));
        return {};
    } catch (const RuntimeError& e) {
        return std::string(kErrorPrefix) + e.what();
    } catch (const std::bad_alloc&) {
        return std::string(kErrorPrefix) + ErrorKindText(ErrorKind::OutOfMemory);
    }
}

}  // namespace verselane
