// The read behind ReadSong and ReadSongBytes, with what the bridges of the
// old model also need: the song as far as it was read when the read failed,
// and the event capacity the old model's tracks had.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "model/song.h"
#include "model/song_facts.h"
#include "reader/midi_reader.h"

namespace verselane::reading {

struct SongRead {
    Song song;
    SongFacts facts;
    int32_t EventSlots = 0;   // half the bytes of the longest track chunk there, plus 100
    bool TracksMade = false;  // the header was read and the song given its tracks
};

// Reads into `read` (fresh), whatever the outcome; a failed read leaves
// what stood before the failure. A progress callback's exception goes on to
// the caller.
ReadOutcome ReadBytes(SongRead& read, std::string_view bytes, const ReadProgress& progress);
ReadOutcome ReadFile(SongRead& read, const std::string& file_name, const ReadProgress& progress);

}  // namespace verselane::reading
