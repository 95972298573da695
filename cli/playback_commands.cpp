#include "cli/playback_commands.h"

#include <chrono>
#include <ostream>
#include <thread>

#include "cli/batch.h"
#include "encoding/text_encoding.h"
#include "playback/render.h"
#include "playback/schedule.h"
#include "playback/sound_font.h"
#include "reader/midi_reader.h"

namespace verselane::cli {

int RunRender(const RenderCommand& Command, std::ostream& err) {
    MidiFile song;
    ResetMidiFile(song);
    // A song read in part is heard as far as it was read, with the reasons said.
    const ReadOutcome read = ReadMidiFile(song, Command.File);
    if (read.Result != ReadResult::Complete) {
        err << PrintableName(Command.File) << ": " << read.Message() << "\n";
        if (!read.SongUsable()) return 1;
    }
    // The song is never written over by its own sound.
    const auto input = FileIdentity(Command.File);
    if (input && input == FileIdentity(Command.Output)) {
        err << "verselane-cli: " << Command.Output << " is the song being rendered\n";
        return 1;
    }
    const std::string sound_font =
        Command.SoundFont.empty() ? DefaultSoundFont() : Command.SoundFont;
    if (sound_font.empty()) {
        err << "verselane-cli: " << MissingSoundFontMessage() << "\n";
        return 1;
    }
    const RenderReport report = RenderToWav(BuildSchedule(song), sound_font, Command.Output);
    if (!report.Error.empty()) {
        err << "verselane-cli: " << report.Error << "\n";
        return 1;
    }
    return read.Result == ReadResult::Complete ? 0 : 1;
}

int FollowSungLines(const std::vector<SungLine>& Lines,
                    const std::function<std::string(std::string_view)>& ToText, std::ostream& out,
                    std::ostream& err) {
    // A line due further in than anyone waits (a time of 2^31 ticks at the
    // slowest tempo is 1,100 years) is refused before anything is printed,
    // and no wait is computed that the clock cannot hold.
    constexpr double kLongestWait = 24 * 3600;
    for (const SungLine& line : Lines) {
        if (!(line.Seconds <= kLongestWait)) {
            err << "verselane-cli: a line is due at " << FormatTimestamp(line.Seconds)
                << ", more than 24 hours into the song; --follow does not wait that long\n";
            return 1;
        }
    }
    const auto start = std::chrono::steady_clock::now();
    for (size_t i = 0; i < Lines.size(); ++i) {
        std::this_thread::sleep_until(start + std::chrono::duration_cast<std::chrono::nanoseconds>(
                                                  std::chrono::duration<double>(Lines[i].Seconds)));
        out << FormatSungLines({Lines[i]}, ToText)
                   .insert(0, Lines[i].NewParagraph && i > 0 ? "\n" : "")
            << std::flush;
    }
    return 0;
}

}  // namespace verselane::cli
