// Songs built by hand for the tests of the words, and a readable printout of
// events for failure messages.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "model/errors.h"
#include "model/midi_file.h"
#include "model/song.h"
#include "tests/support/test_support.h"

namespace verselane {

// How gtest shows an event: "t=480 meta 1 'Hel<CR>'", or its kind, channel and data bytes.
inline void PrintTo(const MidiEvent& e, std::ostream* os) {
    *os << "t=" << e.Time << (e.IsMeta() ? " meta " : " kind ") << int{e.Channel};
    if (!e.IsMeta()) *os << " " << int{e.Kind} << " " << int{e.Data1} << " " << int{e.Data2};
    *os << " '";
    for (char c : e.Data.view())
        *os << (c == '\r' ? "<CR>" : c == '\n' ? "<LF>" : std::string(1, c));
    *os << "'";
}

namespace test {

inline MidiEvent Meta(int32_t time, uint8_t type, std::string_view text = {}) {
    MidiEvent e{time, kKindMeta, type, 0, 0, {}};
    e.Data = text;
    return e;
}
inline MidiEvent Lyric(int32_t time, std::string_view text) {
    return Meta(time, kMetaLyric, text);
}
inline MidiEvent Text(int32_t time, std::string_view text) {
    return Meta(time, kMetaText, text);
}
inline MidiEvent Name(std::string_view text) {
    return Meta(0, kMetaTrackName, text);
}
inline MidiEvent EndOfTrack(int32_t time) {
    return Meta(time, kMetaEndOfTrack);
}
inline MidiEvent NoteOn(int32_t time, uint8_t key) {
    return MidiEvent{time, 1, 0, key, 100, {}};
}
// A Set Tempo event of `micros` microseconds a quarter note.
inline MidiEvent Tempo(int32_t time, uint32_t micros) {
    const char body[3] = {static_cast<char>(micros >> 16), static_cast<char>(micros >> 8),
                          static_cast<char>(micros)};
    return Meta(time, kMetaTempo, std::string_view(body, 3));
}

// A song laid out as the reader leaves it: one slot per track plus two
// spares, every slot but the top one with room for `event_slots` + 1 events,
// names taken from the track-name and instrument events.
inline MidiFile SongOf(const std::vector<std::vector<MidiEvent>>& tracks, int16_t format = 1,
                       int32_t event_slots = 200) {
    MidiFile song;
    ResetMidiFile(song);
    song.Header = {6, format, static_cast<int16_t>(tracks.size()), 480};
    song.EventSlots = event_slots;
    ResizeTracks(song, static_cast<int32_t>(tracks.size()) + 2, true);
    for (size_t t = 0; t < tracks.size(); ++t) {
        for (const MidiEvent& e : tracks[t]) {
            song.Tracks[t].Event(song.EventCount[t]++) = e;
            if (e.IsMeta(kMetaTrackName)) song.TrackName[t] = e.Data.str();
            if (e.IsMeta(kMetaInstrument)) song.InstrumentName[t] = e.Data.str();
        }
    }
    return song;
}

// A song from "name=material|name=material|...", track 0 first, one track
// making format 0: a track-name event unless the name is empty, then an
// event per letter of the material, 96 ticks apart (L a lyric, T a karaoke
// text opening a line, "/la ", C a credit, K a "@K" line, E an empty text), then the end of the
// track. The song-wide lyric and karaoke texts hold what the reader would collect.
inline MidiFile LayoutSong(std::string_view layout) {
    std::vector<std::vector<MidiEvent>> tracks;
    std::string lyrics, texts;
    for (size_t at = 0, end = 0; end != std::string_view::npos; at = end + 1) {
        end = layout.find('|', at);
        const std::string_view track = layout.substr(at, end - at);
        const size_t name_end = std::min(track.find('='), track.size());
        auto& events = tracks.emplace_back();
        if (name_end > 0) events.push_back(Name(track.substr(0, name_end)));
        int32_t time = 0;
        for (char c : track.substr(std::min(name_end + 1, track.size()))) {
            const char* text = c == 'T'   ? "/la "
                               : c == 'C' ? "by Someone"
                               : c == 'K' ? "@KMIDI"
                                          : "";
            events.push_back(c == 'L' ? Lyric(time, "la ") : Text(time, text));
            (c == 'L' ? lyrics : texts) += events.back().Data.str();
            time += 96;
        }
        events.push_back(EndOfTrack(time));
    }
    MidiFile song = SongOf(tracks, tracks.size() == 1 ? 0 : 1);
    song.LyricText = lyrics;
    song.KaraokeText = texts;
    return song;
}

// The events of track t of a song as the tests write them (MidiEvent), and
// those of every track.
inline std::vector<MidiEvent> EventsOf(const Song& song, int t) {
    std::vector<MidiEvent> events;
    const Track& track = song.At(static_cast<int16_t>(t));
    for (const Event& e : track) {
        MidiEvent& m = events.emplace_back();
        m.Time = e.Tick;
        m.Kind = static_cast<uint8_t>(e.Kind);
        m.Channel = e.IsMeta() ? e.MetaType() : e.Channel;
        m.Data1 = e.IsMeta() ? uint8_t{0} : e.Data1;
        m.Data2 = e.Data2;
        m.Data = track.Body(e);
    }
    return events;
}
inline std::vector<std::vector<MidiEvent>> TracksOf(const Song& song) {
    std::vector<std::vector<MidiEvent>> tracks;
    for (int t = 0; t < song.TrackCount(); ++t) tracks.push_back(EventsOf(song, t));
    return tracks;
}

// The texts of the meta events of one type of track t (none for a track the
// song does not have).
inline std::vector<std::string> MetaTexts(const Song& song, int t, uint8_t type) {
    std::vector<std::string> texts;
    if (t >= song.TrackCount()) return texts;
    for (const MidiEvent& e : EventsOf(song, t)) {
        if (e.IsMeta(type)) texts.push_back(e.Data.str());
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

}  // namespace test
}  // namespace verselane
