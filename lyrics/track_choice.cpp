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

TrackNameGuesses GuessWordsTracks(const Song& song) {
    TrackNameGuesses guesses;
    for (int16_t t = 0; t < song.TrackCount(); ++t) {
        std::string_view name = song.Tracks[t].Name;
        if (Contains(name, "ords") || Contains(name, "cals")) guesses.Words = t;
        if (Contains(name, "rics")) guesses.Lyrics = t;
        if (Contains(name, "oc") || Contains(name, "oi")) guesses.Vocal = t;
    }
    return guesses;
}

bool HasKaraokeHeader(const Song& song) {
    for (const Track& track : song.Tracks) {
        for (const Event& e : track) {
            if (e.IsText() && track.Body(e).starts_with("@K")) return true;
        }
    }
    return false;
}

bool HasMarkedLines(const Song& song, int16_t Track) {
    int32_t texts = 0, marked = 0;
    int32_t first_mark = -1;
    bool marks_apart = false;  // marks at two times at least
    const verselane::Track& track = song.At(Track);
    for (const Event& e : track) {
        if (!e.IsText()) continue;
        std::string_view text = track.Body(e);
        const bool mark = text.starts_with('\\') || text.starts_with('/');
        if (mark) text.remove_prefix(1);
        if (text.starts_with('@')) continue;
        ++texts;
        if (!mark) continue;
        ++marked;
        if (first_mark < 0) first_mark = e.Tick;
        marks_apart = marks_apart || e.Tick != first_mark;
    }
    // Karaoke lines follow one another in time. One stray mark ("/Bb" among
    // chord names, "/Coda" among section names) does not make karaoke text,
    // nor do credits written together at the start ("/ Arranged by ...",
    // "\ (c) 1999").
    return marks_apart && marked * 20 >= texts;
}

namespace {

TrackMaterial CountMaterial(const Song& song, int16_t t, bool karaoke_song) {
    TrackMaterial material;
    int32_t texts = 0;
    bool sung = false;  // a text that is no "@" line: a track of tags alone holds no words
    const Track& track = song.Tracks[t];
    for (const Event& e : track) {
        if (!e.IsMeta()) continue;
        if (e.MetaType() == kMetaLyric) ++material.LyricEvents;
        if (e.MetaType() == kMetaText) {
            ++texts;
            sung = sung || !track.Body(e).starts_with('@');
        }
    }
    if (sung && (karaoke_song || HasMarkedLines(song, t))) {
        material.TextEvents = texts;
    } else {
        material.OtherTexts = texts;
    }
    return material;
}

}  // namespace

TrackMaterial MaterialOf(const Song& song, int16_t Track) {
    song.At(Track);  // a bad index raises before the song is searched
    return CountMaterial(song, Track, HasKaraokeHeader(song));
}

std::vector<TrackMaterial> MaterialOfTracks(const Song& song) {
    std::vector<TrackMaterial> all;
    const bool karaoke_song = HasKaraokeHeader(song);
    all.reserve(song.Tracks.size());
    for (int16_t t = 0; t < song.TrackCount(); ++t) {
        all.push_back(CountMaterial(song, t, karaoke_song));
    }
    return all;
}

static int32_t Amount(const TrackMaterial& m, ConversionDirection d) {
    return d == ConversionDirection::LyricsToKaraoke ? m.LyricEvents : m.TextEvents;
}

bool HoldsMaterial(const TrackMaterial& Material, ConversionDirection Direction) {
    return Amount(Material, Direction) > 0;
}

int16_t ChooseSourceTrack(const Song& song, ConversionDirection Direction) {
    const std::vector<TrackMaterial> material = MaterialOfTracks(song);
    int16_t best = -1;
    int32_t most = 0;
    for (size_t t = 0; t < material.size(); ++t) {
        if (Amount(material[t], Direction) > most) {
            most = Amount(material[t], Direction);
            best = static_cast<int16_t>(t);
        }
    }
    // A name says where the words are, unless the track holds only a few of
    // them: a "Vocals" track with two control texts ("%-" "%+") beside a
    // "Words" track of 240 syllables does not hold the song's words.
    const TrackNameGuesses guesses = GuessWordsTracks(song);
    for (int16_t guess : {guesses.Lyrics, guesses.Words, guesses.Vocal}) {
        if (guess >= 0 && HoldsMaterial(material[guess], Direction) &&
            Amount(material[guess], Direction) * 2 >= most)
            return guess;
    }
    return best;
}

}  // namespace verselane
