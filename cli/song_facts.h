// The tempo and signatures of a song as `info` prints them.
#pragma once

#include <string>

#include "lyrics/track_choice.h"
#include "model/song.h"
#include "model/song_facts.h"

namespace verselane::cli {

// "120 beats per minute", or "not set (120 beats per minute by default)".
std::string TempoText(const SongFacts& Facts);
// "6/8", or "not set (4/4 by default)".
std::string TimeSignatureText(const SongFacts& Facts);
// "2 flats, G minor", "no sharps or flats, C major", "not set", or for values
// that name no key "9 sharps, mode 0 (not a key)".
std::string KeySignatureText(const Song& Song, const SongFacts& Facts);
// What a track holds, as `info` lists it: "219 lyric events, 0 karaoke text
// events, 1 text event". Texts that are not karaoke text (credits, titles,
// notes) are plain text events.
std::string TrackMaterialText(const TrackMaterial& Material);

}  // namespace verselane::cli
