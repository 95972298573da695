// verselane-cli: the command-line face of Verselane.
#include <sys/stat.h>

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "model/errors.h"
#include "model/midi_file.h"
#include "reader/midi_reader.h"
#include "writer/midi_writer.h"

using namespace verselane;

namespace {

constexpr const char* kUsage =
    "Usage: verselane-cli COMMAND [ARGS]\n"
    "\n"
    "Moves song lyrics inside Standard MIDI Files.\n"
    "\n"
    "Commands:\n"
    "  info FILE        show the header, the tracks, tempo, signatures and the\n"
    "                   karaoke text and lyric text of FILE\n"
    "  copy IN OUT      read IN and write it unchanged to OUT\n"
    "\n"
    "Options:\n"
    "  -h, --help       show this help and exit\n"
    "  --version        show the version and exit\n";

// Bytes for the terminal: valid UTF-8 as it is, anything else read as Latin-1.
std::string ForTerminal(std::string_view bytes) {
    std::string out;
    size_t i = 0;
    while (i < bytes.size()) {
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        bool ok = len > 0 && i + len <= bytes.size();
        for (size_t k = 1; ok && k < len; ++k)
            ok = (static_cast<unsigned char>(bytes[i + k]) >> 6) == 2;
        if (ok && c >= 0x20) {
            out.append(bytes.substr(i, len));
            i += len;
            continue;
        }
        if (c == '\r' || c == '\n' || c == '\t') {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x20 || c == 0x7F) {
            out.push_back('?');
        } else {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
        ++i;
    }
    return out;
}

std::string Lines(std::string_view text) {
    std::string out;
    for (char c : ForTerminal(text)) {
        if (c != '\r') out.push_back(c);
    }
    return out;
}

int Info(const std::string& path) {
    MidiFile song;
    ResetMidiFile(song);
    std::string message = ReadMidiFile(song, path);
    if (!message.empty()) std::cerr << path << ": " << message << "\n";
    std::cout << "File: " << path << "\n"
              << "Length: " << song.FileLength << " bytes\n"
              << "Format: " << song.Header.Format << "\n"
              << "Tracks: " << song.Header.NumTracks << "\n"
              << "Division: " << song.Header.Division << " ticks per quarter note\n";
    std::cout << "Tempo: " << song.Tempo << " beats per minute\n"
              << "Time signature: " << song.TimeSigNumerator << "/" << song.TimeSigDenominator
              << "\n"
              << "Key signature: " << song.KeySignature << " mode " << song.KeyMode << "\n";
    if (!song.Copyright.empty()) std::cout << "Copyright: " << ForTerminal(song.Copyright) << "\n";
    for (int32_t t = 0; t < song.Header.NumTracks && t < song.TrackSlots; ++t) {
        std::cout << "Track " << t << ": \"" << ForTerminal(song.TrackName[t]) << "\", "
                  << song.EventCount[t] << " events\n";
    }
    std::cout << "Karaoke text:\n" << Lines(song.KaraokeText) << "\n";
    std::cout << "Lyric text:\n" << Lines(song.LyricText) << "\n";
    return message.empty() ? 0 : 1;
}

// Whether two paths name one file (the same inode of the same device), by
// whatever links or spellings they reach it.
bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa, sb;
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

int Copy(const std::string& in, const std::string& out) {
    MidiFile song;
    ResetMidiFile(song);
    std::string message = ReadMidiFile(song, in);
    if (!message.empty()) {
        std::cerr << in << ": " << message << "\n";
        return 1;
    }
    // Writing the song over the file it came from would drop whatever the song
    // does not keep (a RIFF wrapper, bytes after the last track), so refuse.
    if (SameFile(in, out)) {
        std::cerr << out << ": " << kErrorPrefix
                  << RuntimeError(ErrorKind::FileAccess, out + ": is the file being read").what()
                  << "\n";
        return 1;
    }
    message = WriteMidiFile(song, out);
    if (!message.empty()) {
        std::cerr << out << ": " << message << "\n";
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        std::cerr << kUsage;
        return 2;
    }
    for (const std::string& a : args) {
        if (a == "-h" || a == "--help") {
            std::cout << kUsage;
            return 0;
        }
        if (a == "--version") {
            std::cout << "verselane-cli " << VERSELANE_VERSION << "\n";
            return 0;
        }
    }
    const std::string& command = args[0];
    if (command == "info" && args.size() == 2) return Info(args[1]);
    if (command == "copy" && args.size() == 3) return Copy(args[1], args[2]);
    std::cerr << "verselane-cli: unknown command or wrong arguments: " << command << "\n"
              << "Try 'verselane-cli --help'.\n";
    return 2;
}
