// The help of the program and of each command in the form of GNU programs.
#pragma once

#include <CLI/CLI.hpp>

#include <map>
#include <string>

namespace verselane::cli {

// The help of the program and of each command, written from their
// definitions in the form of GNU programs: a usage line, what the command
// does, its options, then its rules and exit status.
class HelpFormat : public CLI::Formatter {
  public:
    // What a command takes after its options, and what it does.
    struct Page {
        std::string Words;
        std::string Prose;
    };
    std::map<std::string, Page> Pages;

    std::string make_help(const CLI::App* app, std::string,
                          CLI::AppFormatMode mode) const override {
        const bool program = app->get_parent() == nullptr;
        const auto page = Pages.find(program ? std::string() : app->get_name());
        std::string help = "Usage: verselane-cli ";
        help += program ? "COMMAND [ARGS]" : app->get_name() + " [OPTIONS] " + page->second.Words;
        help += "\n\n" + page->second.Prose;
        if (program) help += make_subcommands(app, mode);
        help += Trimmed(make_groups(app, mode));
        const std::string footer = app->get_footer();
        if (!footer.empty()) help += "\n" + Trimmed(footer);
        return help;
    }

    // Ends with one line end.
    static std::string Trimmed(std::string text) {
        while (!text.empty() && text.back() == '\n') text.pop_back();
        return text + "\n";
    }

    std::string make_subcommand(const CLI::App* sub) const override {
        std::stringstream line;
        const auto page = Pages.find(sub->get_name());
        CLI::detail::format_help(
            line, sub->get_name() + (page == Pages.end() ? "" : " " + page->second.Words),
            sub->get_description(), column_width_);
        return line.str();
    }

    std::string make_option_name(const CLI::Option* option, bool positional) const override {
        std::string names = CLI::Formatter::make_option_name(option, positional);
        for (size_t at = names.find(','); at != std::string::npos; at = names.find(',', at + 2))
            names.replace(at, 1, ", ");
        return names;
    }
};

}  // namespace verselane::cli
