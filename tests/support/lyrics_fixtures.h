// Songs built by hand for the tests: tracks of events with their bodies, and
// a readable printout of events for failure messages.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "model/errors.h"
#include "model/song.h"
#include "model/song_facts.h"
#include "tests/support/test_support.h"

namespace verselane::test {

// An event of a track with its body, as the tests write and compare them
// (the record's BodyAt is always 0).
struct EventAndBody {
    Event Record;
    std::string Body;

    friend bool operator==(const EventAndBody&, const EventAndBody&) = default;
};

// "t=480 meta 1 'Hel<CR>'", or "t=5 kind 1 ch 0 60 100".
inline void PrintTo(const EventAndBody& e, std::ostream* os) {
    const Event& r = e.Record;
    *os << "t=" << r.Tick;
    if (r.IsMeta()) {
        *os << " meta " << int{r.MetaType()};
    } else {
        *os << " kind " << int{static_cast<uint8_t>(r.Kind)} << " ch " << int{r.Channel} << " "
            << int{r.Data1} << " " << int{r.Data2};
    }
    *os << " '";
    for (char c : e.Body) *os << (c == '\r' ? "<CR>" : c == '\n' ? "<LF>" : std::string(1, c));
    *os << "'";
}

inline EventAndBody Meta(int32_t tick, uint8_t type, std::string_view text = {}) {
    return {Event::Meta(tick, type), std::string(text)};
}
inline EventAndBody Lyric(int32_t tick, std::string_view text) {
    return Meta(tick, kMetaLyric, text);
}
inline EventAndBody Text(int32_t tick, std::string_view text) {
    return Meta(tick, kMetaText, text);
}
inline EventAndBody Name(std::string_view text) {
    return Meta(0, kMetaTrackName, text);
}
inline EventAndBody EndOfTrack(int32_t tick) {
    return Meta(tick, kMetaEndOfTrack);
}
// A channel message, or a system-exclusive message with its body.
inline EventAndBody Message(int32_t tick, EventKind kind, uint8_t channel, uint8_t data1,
                            uint8_t data2 = 0, std::string_view body = {}) {
    return {Event::Message(tick, kind, channel, data1, data2), std::string(body)};
}
inline EventAndBody NoteOn(int32_t tick, uint8_t key) {
    return {Event::Message(tick, EventKind::NoteOn, 0, key, 100), {}};
}
// A Set Tempo event of `micros` microseconds a quarter note.
inline EventAndBody Tempo(int32_t tick, uint32_t micros) {
    const char body[3] = {static_cast<char>(micros >> 16), static_cast<char>(micros >> 8),
                          static_cast<char>(micros)};
    return Meta(tick, kMetaTempo, std::string_view(body, 3));
}

using TrackEvents = std::vector<EventAndBody>;

// A song of the given tracks at 480 ticks a quarter note, each track named
// by its first track-name and instrument events, as the reader names them.
inline Song BuildSong(const std::vector<TrackEvents>& tracks, int16_t format = 1) {
    Song song;
    song.Format = format;
    for (const TrackEvents& events : tracks) {
        Track& track = song.Tracks.emplace_back();
        for (const EventAndBody& e : events) {
            track.Append(e.Record, e.Body);
            if (e.Record.IsMeta(kMetaTrackName) && track.Name.empty()) track.Name = e.Body;
            if (e.Record.IsMeta(kMetaInstrument) && track.Instrument.empty())
                track.Instrument = e.Body;
        }
    }
    return song;
}

// A song with what its read would have learnt of its words.
struct SongAndFacts {
    Song song;
    SongFacts facts;
};

// A song from "name=material|name=material|...", track 0 first, one track
// making format 0: a track-name event unless the name is empty, then an
// event per letter of the material, 96 ticks apart (L a lyric, T a karaoke
// text opening a line, "/la ", C a credit, K a "@K" line, E an empty text), then the end of the
// track. The facts hold the lyric and karaoke texts the reader would collect.
inline SongAndFacts LaidOutSong(std::string_view layout) {
    std::vector<TrackEvents> tracks;
    SongAndFacts laid;
    for (size_t at = 0, end = 0; end != std::string_view::npos; at = end + 1) {
        end = layout.find('|', at);
        const std::string_view track = layout.substr(at, end - at);
        const size_t name_end = std::min(track.find('='), track.size());
        auto& events = tracks.emplace_back();
        if (name_end > 0) events.push_back(Name(track.substr(0, name_end)));
        int32_t tick = 0;
        for (char c : track.substr(std::min(name_end + 1, track.size()))) {
            const char* text = c == 'T'   ? "/la "
                               : c == 'C' ? "by Someone"
                               : c == 'K' ? "@KMIDI"
                                          : "";
            events.push_back(c == 'L' ? Lyric(tick, "la ") : Text(tick, text));
            (c == 'L' ? laid.facts.LyricText : laid.facts.KaraokeText) += events.back().Body;
            tick += 96;
        }
        events.push_back(EndOfTrack(tick));
    }
    laid.song = BuildSong(tracks, tracks.size() == 1 ? 0 : 1);
    return laid;
}

// The events of track t of a song, and those of every track.
inline TrackEvents EventsOf(const Song& song, int t) {
    TrackEvents events;
    const Track& track = song.At(static_cast<int16_t>(t));
    for (Event e : track) {
        const std::string_view body = track.Body(e);
        e.BodyAt = 0;
        events.push_back({e, std::string(body)});
    }
    return events;
}
inline std::vector<TrackEvents> TracksOf(const Song& song) {
    std::vector<TrackEvents> tracks;
    for (int t = 0; t < song.TrackCount(); ++t) tracks.push_back(EventsOf(song, t));
    return tracks;
}

// The texts of the meta events of one type of track t (none for a track the
// song does not have).
inline std::vector<std::string> MetaTexts(const Song& song, int t, uint8_t type) {
    std::vector<std::string> texts;
    if (t >= song.TrackCount()) return texts;
    const Track& track = song.At(static_cast<int16_t>(t));
    for (const Event& e : track) {
        if (e.IsMeta(type)) texts.emplace_back(track.Body(e));
    }
    return texts;
}

template <typename Action>
void ExpectError(ErrorKind kind, Action&& action) {
    try {
        action();
        ADD_FAILURE() << "expected " << ErrorKindText(kind);
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.Kind(), kind) << e.what();
    }
}

}  // namespace verselane::test
