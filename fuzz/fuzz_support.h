// What the fuzz targets share: a finding is said under the target's name
// and stops the run (libFuzzer keeps the input that caused it); songs are
// written and read back.
#pragma once

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "model/errors.h"
#include "model/song.h"
#include "model/song_facts.h"
#include "reader/midi_reader.h"
#include "writer/midi_writer.h"

namespace verselane::fuzz {

// A finding: what went wrong, and why when there is more to say.
[[noreturn]] inline void Finding(const char* what, const char* why = nullptr) {
    if (why)
        std::fprintf(stderr, "%s: %s: %s\n", program_invocation_short_name, what, why);
    else
        std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, what);
    std::abort();
}

inline void Check(bool ok, const char* what) {
    if (!ok) Finding(what);
}

// The bytes of a song that the writer must be able to write.
inline std::string EncodeOrDie(const Song& song, const char* what) {
    try {
        return EncodeSong(song);
    } catch (const RuntimeError& e) {
        Finding(what, e.what());
    }
}

// Reads bytes the writer made into `back`: whether they read completely.
inline bool ReadsBack(const std::string& bytes, Song& back) {
    SongFacts facts;
    return ReadSongBytes(back, facts, bytes).Result == ReadResult::Complete;
}

}  // namespace verselane::fuzz
