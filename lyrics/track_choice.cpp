#include "lyrics/track_choice.h"

#include <algorithm>
#include <string_view>

namespace verselane {

namespace {

bool Contains(std::string_view name, std::string_view piece) {
    return name.find(piece) != std::string_view::npos;
}

}  // namespace

int16_t TrackNameGuesses::Source() const {
    if (Lyrics >= 0) return Lyrics;
    if (Words >= 0) return Words;
    return Vocal;
}

TrackNameGuesses GuessWordsTracks(const MidiFile& Song) {
    TrackNameGuesses guesses;
    const int16_t n = RealTrackCount(Song);
    for (int16_t t = 0; t < n; ++t) {
        std::string_view name = Song.TrackName[t];
        if (Contains(name, "ords") || Contains(name, "cals")) guesses.Words = t;
        if (Contains(name, "rics")) guesses.Lyrics = t;
        if (Contains(name, "oc") || Contains(name, "oi")) guesses.Vocal = t;
    }
    return guesses;
}

bool HasKaraokeHeader(const MidiFile& Song) {
    for (const PlacedEvent placed : Song.AllEvents()) {
        if (placed.Record.IsText() && placed.Record.Data.view().starts_with("@K")) return true;
    }
    return false;
}

bool HasMarkedLines(const MidiFile& Song, int16_t Track) {
    int32_t texts = 0, marked = 0;
    const int32_t n = Song.Count(Track);
    const MidiTrack& track = Song.Track(Track);
    for (int32_t i = 0; i < n; ++i) {
        const MidiEvent& e = track.Event(i);
        if (!e.IsText()) continue;
        std::string_view text = e.Data;
        const bool mark = text.starts_with('\\') || text.starts_with('/');
        if (mark) text.remove_prefix(1);
        if (text.starts_with('@')) continue;
        ++texts;
        marked += mark;
    }
    // One stray mark ("/Bb" among chord names) does not make karaoke text.
    return marked > 0 && marked * 20 >= texts;
}

namespace {

TrackMaterial CountMaterial(const MidiFile& Song, int16_t Track, bool karaoke_song) {
    TrackMaterial material;
    const int32_t n = Song.Count(Track);
    const MidiTrack& track = Song.Track(Track);
    int32_t texts = 0;
    for (int32_t i = 0; i < n; ++i) {
        const MidiEvent& e = track.Event(i);
        if (!e.IsMeta()) continue;
        if (e.MetaType() == kMetaLyric) ++material.LyricEvents;
        if (e.MetaType() == kMetaText) ++texts;
    }
    if (texts > 0 && (karaoke_song || HasMarkedLines(Song, Track))) {
        material.TextEvents = texts;
    } else {
        material.OtherTexts = texts;
    }
    return material;
}

}  // namespace

TrackMaterial MaterialOf(const MidiFile& Song, int16_t Track) {
    Song.Count(Track);  // a bad index raises before the song is searched
    return CountMaterial(Song, Track, HasKaraokeHeader(Song));
}

std::vector<TrackMaterial> MaterialOfTracks(const MidiFile& Song) {
    std::vector<TrackMaterial> all;
    const int16_t n = RealTrackCount(Song);
    const bool karaoke_song = HasKaraokeHeader(Song);
    all.reserve(static_cast<size_t>(n));
    for (int16_t t = 0; t < n; ++t) all.push_back(CountMaterial(Song, t, karaoke_song));
    return all;
}

static int32_t Amount(const TrackMaterial& m, ConversionDirection d) {
    return d == ConversionDirection::LyricsToKaraoke ? m.LyricEvents : m.TextEvents;
}

bool HoldsMaterial(const TrackMaterial& Material, ConversionDirection Direction) {
    return Amount(Material, Direction) > 0;
}

int16_t ChooseSourceTrack(const MidiFile& Song, ConversionDirection Direction) {
    const std::vector<TrackMaterial> material = MaterialOfTracks(Song);
    const TrackNameGuesses guesses = GuessWordsTracks(Song);
    for (int16_t guess : {guesses.Lyrics, guesses.Words, guesses.Vocal}) {
        if (guess >= 0 && HoldsMaterial(material[guess], Direction)) return guess;
    }
    int16_t best = -1;
    int32_t most = 0;
    for (size_t t = 0; t < material.size(); ++t) {
        if (Amount(material[t], Direction) > most) {
            most = Amount(material[t], Direction);
            best = static_cast<int16_t>(t);
        }
    }
    return best;
}

}  // namespace verselane
