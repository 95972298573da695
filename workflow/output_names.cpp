#include "workflow/output_names.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace verselane::workflow {

namespace fs = std::filesystem;

namespace {

std::string Extension(const fs::path& input, OutputKind kind) {
    switch (kind) {
        case OutputKind::Karaoke:
            return ".kar";
        case OutputKind::Lyrics:
            return ".lyrics.mid";
        case OutputKind::Fixed:
        case OutputKind::Retimed:
            return (kind == OutputKind::Fixed ? ".fixed" : ".retimed") +
                   (input.has_extension() ? input.extension().string() : ".mid");
        case OutputKind::Aligned: {
            std::string lowered = input.extension().string();
            std::transform(lowered.begin(), lowered.end(), lowered.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
            return lowered == ".kar" ? ".aligned.kar" : ".kar";
        }
    }
    return {};
}

fs::path FolderOf(const fs::path& input, const std::string& folder) {
    return folder.empty() ? input.parent_path() : fs::path(folder);
}

}  // namespace

std::string OutputName(const std::string& Input, OutputKind Kind, const std::string& Folder) {
    const fs::path in(Input);
    return (FolderOf(in, Folder) / (in.stem().string() + Extension(in, Kind))).string();
}

std::string ProposedSaveName(const std::string& Input, OutputKind Kind, const std::string& Folder) {
    if (Input.empty()) return {};
    const fs::path in = fs::absolute(Input);
    const std::string proposed = OutputName(in.string(), Kind, Folder);
    std::error_code ec;
    if (fs::absolute(proposed, ec).lexically_normal() != in.lexically_normal()) return proposed;
    return (FolderOf(in, Folder) / (in.stem().string() + "-converted" + Extension(in, Kind)))
        .string();
}

}  // namespace verselane::workflow
