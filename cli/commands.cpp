#include "cli/commands.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>

#include "cli/batch.h"
#include "cli/outcome_text.h"
#include "cli/playback_commands.h"
#include "cli/retime_command.h"
#include "cli/song_facts.h"
#include "encoding/text_encoding.h"
#include "model/errors.h"
#include "reader/midi_reader.h"
#include "writer/midi_writer.h"

namespace verselane::cli {

namespace {

// Reads a song for showing it. A damaged file is shown as far as it could be
// read, after the reader's message; a file that could not be read at all
// gives nothing.
// A song read for showing, with what the read learnt of it.
struct ShownSong {
    Song song;
    SongFacts facts;
};

std::optional<ShownSong> ReadForShowing(const std::string& path, std::ostream& err,
                                        bool& complete) {
    ShownSong shown;
    const ReadOutcome read = ReadSong(shown.song, shown.facts, path);
    complete = read.Result == ReadResult::Complete;
    for (const ReadFault& fault : read.Faults)
        err << PrintableName(path) << ": " << PrintableName(FaultMessage(fault)) << "\n";
    if (read.SongUsable()) return shown;
    return std::nullopt;
}

std::optional<TextDecoder> DecoderFor(const Song& song, const std::string& encoding,
                                      std::ostream& err) {
    if (!encoding.empty()) {
        if (const std::string refusal = SongEncodingRefusal(EncodingName(encoding));
            !refusal.empty()) {
            err << "verselane-cli: " << refusal << " (see 'verselane-cli lyrics --help')\n";
            return std::nullopt;
        }
    }
    return SongDecoder(song, encoding);
}

std::string TrackChoiceText(const Song& song, ConversionDirection direction) {
    const int16_t track = ChooseSourceTrack(song, direction);
    return track < 0 ? std::string("none") : "track " + std::to_string(track);
}

}  // namespace

int RunInfo(const InfoCommand& Command, std::ostream& out, std::ostream& err) {
    bool complete = false;
    std::optional<ShownSong> read = ReadForShowing(Command.File, err, complete);
    if (!read) return 1;
    const Song& song = read->song;
    const SongFacts& facts = read->facts;
    std::optional<TextDecoder> decoder = DecoderFor(song, Command.Encoding, err);
    if (!decoder) return 2;
    auto show = [&](std::string_view bytes) { return Printable(decoder->ToUtf8(bytes)); };

    out << "File: " << PrintableName(Command.File) << "\n"
        << "Length: " << facts.FileLength << " bytes\n"
        << "Format: " << song.Format << "\n"
        << "Tracks: " << song.TrackCount() << "\n"
        << "Division: "
        << (IsSmpteDivision(song.Division)
                ? (SmpteFramesPerSecond(song.Division) == 29
                       ? std::string("29.97")
                       : std::to_string(SmpteFramesPerSecond(song.Division))) +
                      " frames per second (SMPTE), " +
                      std::to_string(SmpteTicksPerFrame(song.Division)) + " ticks per frame"
                : std::to_string(song.Division) + " ticks per quarter note")
        << "\n"
        << "Tempo: " << TempoText(facts) << "\n"
        << "Time signature: " << TimeSignatureText(facts) << "\n"
        << "Key signature: " << KeySignatureText(song, facts) << "\n"
        << "Text encoding: " << EncodingLabel(decoder->Encoding()) << "\n";
    if (!facts.Copyright.empty()) out << "Copyright: " << show(facts.Copyright) << "\n";
    const std::vector<TrackMaterial> material = MaterialOfTracks(song);
    for (size_t t = 0; t < material.size(); ++t) {
        const Track& track = song.Tracks[t];
        out << "Track " << t << ": \"" << PrintableName(decoder->ToUtf8(track.Name)) << "\", "
            << track.Size() << " events, " << TrackMaterialText(material[t]) << "\n";
    }
    out << "Lyrics to karaoke text would take: "
        << TrackChoiceText(song, ConversionDirection::LyricsToKaraoke) << "\n"
        << "Karaoke text to lyrics would take: "
        << TrackChoiceText(song, ConversionDirection::KaraokeToLyrics) << "\n";
    out << "Karaoke text:\n" << show(facts.KaraokeText) << "\n";
    out << "Lyric text:\n" << show(facts.LyricText) << "\n";
    return complete ? 0 : 1;
}

int RunLyrics(const LyricsCommand& Command, std::ostream& out, std::ostream& err) {
    bool complete = false;
    std::optional<ShownSong> read = ReadForShowing(Command.File, err, complete);
    if (!read) return 1;
    const Song& song = read->song;
    std::optional<TextDecoder> decoder = DecoderFor(song, Command.Encoding, err);
    if (!decoder) return 2;

    std::optional<LineSource> from = Command.From ? Command.From : PreferredLineSource(song);
    if (!from) {
        err << PrintableName(Command.File) << ": no lyric events or karaoke text found\n";
        return 1;
    }
    const ConversionDirection direction = *from == LineSource::Lyrics
                                              ? ConversionDirection::LyricsToKaraoke
                                              : ConversionDirection::KaraokeToLyrics;
    const char* what = *from == LineSource::Lyrics ? "lyric events" : "karaoke text events";
    int16_t track;
    if (Command.Track) {
        if (*Command.Track >= song.TrackCount()) {
            err << PrintableName(Command.File) << ": there is no track " << *Command.Track << "\n";
            return 1;
        }
        track = static_cast<int16_t>(*Command.Track);
    } else {
        track = ChooseSourceTrack(song, direction);
        if (track < 0) {
            err << PrintableName(Command.File) << ": no " << what << " found\n";
            return 1;
        }
    }
    if (Command.Syllables) {
        auto show = [&](std::string_view bytes) { return Printable(decoder->ToUtf8(bytes)); };
        if (!PrintSyllables(song, from, track, show, PrintableName(Command.File), out, err))
            return 1;
        return complete ? 0 : 1;
    }
    const std::vector<SungLine> lines = SungLines(song, track, *from, SungDetail::LinesOnly);
    if (lines.empty()) {
        err << PrintableName(Command.File) << ": track " << track << " holds no " << what << "\n";
        return 1;
    }
    auto show = [&](std::string_view bytes) { return Printable(decoder->ToUtf8(bytes)); };
    if (Command.Follow) {
        if (FollowSungLines(lines, show, out, err) != 0) return 1;
    } else {
        out << FormatSungLines(lines, show);
    }
    return complete ? 0 : 1;
}

int RunCopy(const CopyCommand& Command, std::ostream& err) {
    Song song;
    SongFacts facts;
    const std::string input = PrintableName(Command.Input);
    const ReadOutcome read = ReadSong(song, facts, Command.Input);
    if (!read.SongUsable()) {
        err << input << ": " << PrintableName(ReadMessage(read)) << "\n";
        return 1;
    }
    if (read.Result == ReadResult::Partial) {
        err << input << ": " << DamageReport(read, Command.Salvage) << "\n";
        if (!Command.Salvage) return 1;
    }
    // Writing the song over the file it came from would drop whatever the song
    // does not keep (a RIFF wrapper, bytes after the last track), so refuse.
    const auto identity = FileIdentity(Command.Input);
    if (identity && identity == FileIdentity(Command.Output)) {
        WriteFailure same;
        same.Kind = WriteFailureKind::SameAsInput;
        same.Path = Command.Output;
        err << PrintableName(Command.Output) << ": " << WriteFailureMessage(same) << "\n";
        return 1;
    }
    if (const std::optional<WriteFailure> failure = WriteSong(song, Command.Output)) {
        err << PrintableName(Command.Output) << ": " << PrintableName(WriteFailureMessage(*failure))
            << "\n";
        return 1;
    }
    WarnOfWhatIsNotKept(Command.Input, facts, err);
    return 0;
}

int FinishStandardOutput(int Status, std::ostream& err) {
    errno = 0;
    std::cout.flush();
    const bool flushed = std::fflush(stdout) == 0;
    const int error = errno;
    if (flushed && !std::ferror(stdout) && !std::cout.fail()) return Status;
    err << "verselane-cli: standard output: cannot write: "
        << (error != 0 ? std::strerror(error) : "write error") << "\n";
    std::cout.clear();
    return Status == 0 ? 1 : Status;
}

}  // namespace verselane::cli
