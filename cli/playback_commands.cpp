#include "cli/playback_commands.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <ostream>
#include <thread>

#include "cli/batch.h"
#include "cli/outcome_text.h"
#include "encoding/text_encoding.h"
#include "playback/render.h"
#include "playback/schedule.h"
#include "playback/sound_font.h"
#include "reader/midi_reader.h"

namespace verselane::cli {

namespace {

// "1:02:03" for an hour and more, else "2:03"; years for what lasts longer
// than a few days, which only a damaged or hostile song does.
std::string DurationText(double seconds) {
    if (seconds >= 86400.0 * 365) {
        char text[64];
        std::snprintf(text, sizeof text, "%.0f years", seconds / (86400.0 * 365.25));
        return text;
    }
    const auto whole = static_cast<int64_t>(std::llround(seconds));
    char text[64];
    if (whole >= 3600) {
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(whole / 3600),
                      static_cast<long long>(whole / 60 % 60), static_cast<long long>(whole % 60));
    } else {
        std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(whole / 60),
                      static_cast<long long>(whole % 60));
    }
    return text;
}

// The same to a tenth of a second (under an hour), where whole seconds
// would show two different lengths alike ("0:07, longer than 0:07").
std::string PreciseDurationText(double seconds) {
    if (seconds >= 3600) return DurationText(seconds);
    const auto tenths = static_cast<int64_t>(std::llround(seconds * 10));
    char text[64];
    std::snprintf(text, sizeof text, "%lld:%02lld.%lld", static_cast<long long>(tenths / 600),
                  static_cast<long long>(tenths / 10 % 60), static_cast<long long>(tenths % 10));
    return text;
}

std::string MegabyteText(uint64_t bytes) {
    char text[64];
    std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
    return text;
}

// The space left for a new file at `path`: on the file system of its
// folder (of the file a link leads to); nothing for a stream (standard
// output, a pipe, a device) or a folder that cannot be asked.
std::optional<uint64_t> FreeSpaceFor(const std::string& path) {
    namespace fs = std::filesystem;
    if (path == "-") return std::nullopt;
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (!ec && status.type() != fs::file_type::regular &&
        status.type() != fs::file_type::not_found) {
        return std::nullopt;
    }
    fs::path target = fs::weakly_canonical(path, ec);
    if (ec) target = fs::absolute(path, ec);
    const fs::space_info space = fs::space(target.parent_path(), ec);
    if (ec) return std::nullopt;
    return space.available;
}

}  // namespace

int RunRender(const RenderCommand& Command, std::ostream& err) {
    Song song;
    SongFacts facts;
    // A song read in part is heard as far as it was read, with the reasons said.
    const ReadOutcome read = ReadSong(song, facts, Command.File);
    if (read.Result != ReadResult::Complete) {
        err << PrintableName(Command.File) << ": " << ReadMessage(read) << "\n";
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
    // Before anything is written: the render's length is known from the
    // schedule, and a song too long, or too big for where it goes, is refused.
    const PlaybackSchedule schedule = BuildSchedule(song);
    const RenderSize size = RenderSizeOf(schedule);
    if (schedule.Length > Command.MaxSeconds) {
        std::string length = DurationText(schedule.Length),
                    limit = DurationText(Command.MaxSeconds);
        if (length == limit || Command.MaxSeconds != std::floor(Command.MaxSeconds)) {
            length = PreciseDurationText(schedule.Length);
            limit = PreciseDurationText(Command.MaxSeconds);
        }
        err << "verselane-cli: " << PrintableName(Command.File) << " lasts " << length
            << ", longer than the limit of " << limit
            << " (--max-length changes it); not rendered\n";
        return 1;
    }
    if (!size.FitsWav) {
        err << "verselane-cli: " << PrintableName(Command.File) << " lasts "
            << DurationText(schedule.Length) << ": its WAV file of " << MegabyteText(size.Bytes)
            << " would be more than a WAV file can hold (4 GiB); not rendered\n";
        return 1;
    }
    if (const std::optional<uint64_t> free = FreeSpaceFor(Command.Output);
        free && size.Bytes > *free) {
        err << "verselane-cli: " << PrintableName(Command.File) << " lasts "
            << DurationText(schedule.Length) << ": its WAV file of " << MegabyteText(size.Bytes)
            << " would not fit the " << MegabyteText(*free) << " free where "
            << PrintableName(Command.Output) << " goes; not rendered\n";
        return 1;
    }
    const RenderReport report = RenderToWav(schedule, sound_font, Command.Output);
    if (report.WriteFailed) {
        err << "verselane-cli: Could not write " << Command.Output << ": "
            << WriteFailureReason(*report.WriteFailed) << "\n";
        return 1;
    }
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
