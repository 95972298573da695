// verselane-cli: the command-line face of Verselane.
#include <iostream>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

#include "cli/batch.h"
#include "cli/commands.h"
#include "cli/options.h"
#include "cli/playback_commands.h"

using namespace verselane::cli;

int main(int argc, char** argv) {
    const ParsedCommand parsed = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    return std::visit(
        [](const auto& command) -> int {
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
                return RunInfo(command, std::cout, std::cerr);
            } else if constexpr (std::is_same_v<T, LyricsCommand>) {
                return RunLyrics(command, std::cout, std::cerr);
            } else if constexpr (std::is_same_v<T, RenderCommand>) {
                return RunRender(command, std::cerr);
            } else if constexpr (std::is_same_v<T, CopyCommand>) {
                return RunCopy(command, std::cerr);
            } else {
                return RunBatch(command, std::cout, std::cerr) == 0 ? 0 : 1;
            }
        },
        parsed);
}
