// verselane-cli: the command-line face of Verselane.
#include <unistd.h>

#include <iostream>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

#include "cli/batch.h"
#include "cli/check_commands.h"
#include "cli/commands.h"
#include "cli/inputs.h"
#include "cli/options.h"
#include "cli/playback_commands.h"
#include "cli/retime_command.h"
#include "cli/summary.h"
#include "platform/platform.h"

using namespace verselane::cli;

int main(int argc, char** argv) {
    // One song after another takes and frees the same few megabytes: keep
    // them in the process instead of handing them back to the system and
    // faulting them in again for the next song of a batch.
    verselane::platform::KeepFreedMemoryForReuse();
    const ParsedCommand parsed = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    // Every message starts with the program's name.
    MessageLines lines(std::cerr.rdbuf());
    std::ostream messages(&lines);
    const int status = std::visit(
        [&messages](const auto& command) -> int {
            using T = std::decay_t<decltype(command)>;
            if constexpr (std::is_same_v<T, HelpRequest>) {
                std::cout << command.Text;
                return 0;
            } else if constexpr (std::is_same_v<T, UsageError>) {
                std::cerr << "verselane-cli: " << command.Message << "\n"
                          << "Try 'verselane-cli "
                          << (command.Command.empty() ? "" : command.Command + " ") << "--help'.\n";
                return 2;
            } else if constexpr (std::is_same_v<T, InfoCommand>) {
                return RunInfo(command, std::cout, messages);
            } else if constexpr (std::is_same_v<T, LyricsCommand>) {
                return RunLyrics(command, std::cout, messages);
            } else if constexpr (std::is_same_v<T, RenderCommand>) {
                return RunRender(command, messages);
            } else if constexpr (std::is_same_v<T, CopyCommand>) {
                return RunCopy(command, messages);
            } else if constexpr (std::is_same_v<T, CheckCommand>) {
                return RunCheck(command, std::cout, messages);
            } else if constexpr (std::is_same_v<T, AlignCommand>) {
                return RunAlign(command, std::cout, messages);
            } else if constexpr (std::is_same_v<T, RetimeCommand>) {
                return RunRetime(command, std::cout, messages);
            } else if constexpr (std::is_same_v<T, FixCommand>) {
                return RunFix(command, std::cout, messages, std::cerr,
                              ::isatty(STDERR_FILENO) != 0);
            } else {
                return RunConversion(command, std::cout, messages, std::cerr,
                                     ::isatty(STDERR_FILENO) != 0);
            }
        },
        parsed);
    // What was printed must have arrived: a full disk or a closed output is
    // a failure, not a silent loss.
    return FinishStandardOutput(status, messages);
}
