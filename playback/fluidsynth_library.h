// FluidSynth, loaded when playback first needs it.
//
// The programs do not link FluidSynth: it and the libraries it brings (sound
// systems, GLib, X11: some fifty of them) would be loaded and relocated at
// every start, which costs more than a whole small command. The FluidSynth
// functions that playback calls are defined in fluidsynth_library.cpp; the
// first call loads the library and forwards every call to it. Without the
// library, the calls do nothing and return FluidSynth's failure values.
#pragma once

#include <string>

namespace verselane {

// Whether FluidSynth is loaded (the first call loads it); else, in `why`
// when given, what the system said.
bool FluidSynthLoaded(std::string* why = nullptr);

}  // namespace verselane
