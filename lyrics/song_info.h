// The karaoke information a song already gives about itself.
#pragma once

#include <string_view>

#include "lyrics/converters.h"
#include "model/song.h"

namespace verselane {

// The language, title and artist that the song names, as bytes of the song,
// each empty where the song names none: its first "@L" line; its first "@T"
// line as the title and the
// "@T" line after it in the same track as the artist; without "@T" lines the
// name of track 0 as the title unless it is a generic name ("Track 1",
// "Untitled", ...), and no artist.
KaraokeInfo SongKaraokeInfo(const Song& Song);

// Whether a track name says nothing about the song: empty, or a word such as
// "Track", "Untitled", "Sequence", "Tempo" with at most a number behind it.
bool IsGenericTrackName(std::string_view Name);

}  // namespace verselane
