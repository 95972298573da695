#include "playback/sound_font.h"

#include <filesystem>
#include <system_error>

namespace verselane {

std::vector<std::string> KnownSoundFonts() {
    return {"/usr/share/sounds/sf2/FluidR3_GM.sf2", "/usr/share/sounds/sf2/TimGM6mb.sf2"};
}

std::string DefaultSoundFont() {
    for (const std::string& path : KnownSoundFonts()) {
        std::error_code error;
        if (std::filesystem::is_regular_file(path, error)) return path;
    }
    return {};
}

std::string MissingSoundFontMessage() {
    return "No SoundFont to play with: install the package timgm6mb-soundfont (or the "
           "fuller fluid-soundfont-gm), or pick a .sf2 file.";
}

}  // namespace verselane
