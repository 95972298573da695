// Where the General MIDI SoundFont comes from.
#pragma once

#include <string>
#include <vector>

namespace verselane {

// The SoundFonts that Debian installs, the fuller one first:
// FluidR3_GM.sf2 (fluid-soundfont-gm), then TimGM6mb.sf2 (timgm6mb-soundfont).
std::vector<std::string> KnownSoundFonts();

// The first of KnownSoundFonts that is there, or the empty string.
std::string DefaultSoundFont();

// What to say when no SoundFont is there: the packages to install or the file to pick.
std::string MissingSoundFontMessage();

}  // namespace verselane
