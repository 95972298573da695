#include "cli/song_facts.h"

#include <cstdint>

namespace verselane::cli {

namespace {

// Whether any track holds a meta event of the type (the reader keeps only the
// values of the first; a key of 0 and mode 0 is C major, not "none").
bool HasMeta(const Song& song, uint8_t type) {
    for (const Track& track : song.Tracks) {
        for (const Event& e : track) {
            if (e.IsMeta(type)) return true;
        }
    }
    return false;
}

}  // namespace

std::string TempoText(const SongFacts& Facts) {
    // The reader leaves 0 when no tempo is set; a set one is at least 3.
    if (Facts.Tempo <= 0) return "not set (120 beats per minute by default)";
    return std::to_string(Facts.Tempo) + " beats per minute";
}

std::string TimeSignatureText(const SongFacts& Facts) {
    // A set denominator is a power of two, never 0.
    if (Facts.TimeSigDenominator <= 0) return "not set (4/4 by default)";
    return std::to_string(Facts.TimeSigNumerator) + "/" + std::to_string(Facts.TimeSigDenominator);
}

std::string KeySignatureText(const Song& Song, const SongFacts& Facts) {
    if (!HasMeta(Song, kMetaKeySignature)) return "not set";
    // The number of sharps (above 0) or flats (below) is a signed byte.
    const int accidentals = static_cast<int8_t>(static_cast<uint8_t>(Facts.KeySignature));
    const int mode = Facts.KeyMode;
    const int count = accidentals < 0 ? -accidentals : accidentals;
    std::string text = count == 0 ? std::string("no sharps or flats")
                                  : std::to_string(count) + (accidentals > 0 ? " sharp" : " flat") +
                                        (count == 1 ? "" : "s");
    if (count > 7 || (mode != 0 && mode != 1)) {
        return text + ", mode " + std::to_string(mode) + " (not a key)";
    }
    // Tonics along the circle of fifths, from 7 flats to 7 sharps.
    static const char* const kMajor[] = {"C flat", "G flat", "D flat", "A flat",  "E flat",
                                         "B flat", "F",      "C",      "G",       "D",
                                         "A",      "E",      "B",      "F sharp", "C sharp"};
    static const char* const kMinor[] = {"A flat",  "E flat",  "B flat",  "F",       "C",
                                         "G",       "D",       "A",       "E",       "B",
                                         "F sharp", "C sharp", "G sharp", "D sharp", "A sharp"};
    const int index = accidentals + 7;
    return text + ", " + (mode == 0 ? kMajor[index] : kMinor[index]) +
           (mode == 0 ? " major" : " minor");
}

std::string TrackMaterialText(const TrackMaterial& Material) {
    auto counted = [](int32_t n, const char* what) {
        return std::to_string(n) + " " + what + (n == 1 ? " event" : " events");
    };
    return counted(Material.LyricEvents, "lyric") + ", " +
           counted(Material.TextEvents, "karaoke text") + ", " +
           counted(Material.OtherTexts, "text");
}

}  // namespace verselane::cli
