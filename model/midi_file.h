// The song model: one Standard MIDI File in memory.
//
// Widths follow the file: Integer fields are int16_t, Long fields int32_t,
// Byte fields uint8_t. Track slots are numbered from 0 in the order of the
// file's chunks. Every per-track array (Tracks, EventCount, TrackName,
// InstrumentName) has the bounds 0 to TrackSlots.
//
// Each track's events array has the bounds 0 to EventSlots once the slot has
// been dimensioned, but storage grows only with the events actually stored:
// an empty slot costs nothing. Reaching past the bounds, or into a slot that
// has no events array, raises SubscriptOutOfRange.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/byte_string.h"
#include "model/division.h"
#include "model/meta_types.h"

namespace verselane {

// Kind values besides the channel message kinds 0 (Note Off) to 6 (Pitch Bend).
constexpr uint8_t kKindSystem = 7;  // 0xF1-0xF6, 0xF8-0xFE: no data bytes
constexpr uint8_t kKindSysEx = 0xF0;
constexpr uint8_t kKindEscape = 0xF7;
constexpr uint8_t kKindMeta = 0xFF;

struct MidiEvent {
    int32_t Time = 0;     // absolute ticks from the start of the track
    uint8_t Kind = 0;     // 0-6 channel message kind, 7, 0xF0, 0xF7 or 0xFF
    uint8_t Channel = 0;  // channel 0-15, or the meta type of a meta event
    uint8_t Data1 = 0;
    uint8_t Data2 = 0;
    ByteString Data;  // body of a sysex, escape or meta event

    constexpr uint8_t MetaType() const { return Channel; }
    constexpr bool IsMeta() const { return Kind == kKindMeta; }
    constexpr bool IsMeta(uint8_t type) const { return Kind == kKindMeta && Channel == type; }
    // A meta event of one of the text types (text, copyright, track name,
    // instrument, lyric, marker, cue point).
    constexpr bool IsTextMeta() const { return Kind == kKindMeta && Channel >= 1 && Channel <= 7; }
    constexpr bool IsSysEx() const { return Kind == kKindSysEx; }
    constexpr bool IsChannelMessage() const { return Kind <= 6; }
    // A note-on of velocity above 0: a note starts.
    constexpr bool IsNoteOn() const { return Kind == 1 && Data2 > 0; }
    // A note-off, or a note-on of velocity 0: a note ends.
    constexpr bool IsNoteOff() const { return Kind == 0 || (Kind == 1 && Data2 == 0); }
    constexpr bool IsText() const { return IsMeta(kMetaText); }
    constexpr bool IsLyric() const { return IsMeta(kMetaLyric); }
    constexpr bool IsEndOfTrack() const { return IsMeta(kMetaEndOfTrack); }

    friend bool operator==(const MidiEvent&, const MidiEvent&) = default;
};

// A meta event of the given type with `Data` as its body.
MidiEvent MetaEvent(int32_t Time, uint8_t Type, std::string_view Data);

class MidiTrack {
  public:
    // Whether the slot has an events array at all.
    bool HasEvents() const { return dimensioned_; }
    // Upper bound of the events array (-1 when there is none).
    int32_t Upper() const { return dimensioned_ ? upper_ : -1; }

    // Element i for reading; elements never stored read as empty events.
    const MidiEvent& Event(int32_t i) const {
        CheckIndex(i);
        return static_cast<size_t>(i) < stored_.size() ? stored_[i] : EmptyEvent();
    }
    // Element i for writing; storage grows up to i as needed.
    MidiEvent& Event(int32_t i) {
        CheckIndex(i);
        const size_t at = static_cast<size_t>(i);
        if (at < stored_.size()) return stored_[at];
        // Filling the array in order, as the reader and the converters do.
        if (at == stored_.size()) return stored_.emplace_back();
        return GrowTo(at);
    }

    // Gives the array the bounds 0 to `upper`. With `clear` every element
    // starts empty; without it the elements within the new bounds are kept.
    void ResizeToLastIndex(int32_t upper, bool clear);
    // A hint that about `n` elements will be stored, so storage is taken once.
    void Reserve(int32_t n);

    // The elements stored so far, from index 0 (never more than Upper() + 1).
    const std::vector<MidiEvent>& Stored() const { return stored_; }

    friend bool operator==(const MidiTrack&, const MidiTrack&) = default;

  private:
    void CheckIndex(int32_t i) const {
        if (!dimensioned_ || i < 0 || i > upper_) RaiseOutOfRange();
    }
    [[noreturn]] static void RaiseOutOfRange();
    static const MidiEvent& EmptyEvent();
    MidiEvent& GrowTo(size_t at);

    bool dimensioned_ = false;
    int32_t upper_ = -1;
    std::vector<MidiEvent> stored_;
};

struct MidiFile;
// The events 0 to Count(t) - 1 of one track, for range-for; each read as
// MidiTrack::Event reads it (for writing: grown into storage as needed).
template <typename TrackType, typename EventType>
class EventRangeOf {
  public:
    class Iterator {
      public:
        Iterator(TrackType* track, int32_t index) : track_(track), index_(index) {}
        EventType& operator*() const { return track_->Event(index_); }
        Iterator& operator++() {
            ++index_;
            return *this;
        }
        bool operator==(const Iterator& other) const { return index_ == other.index_; }

      private:
        TrackType* track_;
        int32_t index_;
    };
    EventRangeOf(TrackType* track, int32_t count) : track_(track), count_(count) {}
    Iterator begin() const { return {track_, 0}; }
    Iterator end() const { return {track_, count_}; }

  private:
    TrackType* track_;
    int32_t count_;
};
using TrackEventRange = EventRangeOf<const MidiTrack, const MidiEvent>;
using MutableTrackEventRange = EventRangeOf<MidiTrack, MidiEvent>;

// An event with its track and its place in the track.
struct PlacedEvent {
    int16_t Track;
    int32_t Index;
    const MidiEvent& Record;
};

// Every event of the real tracks (RealTrackCount), track by track.
class SongEventRange {
  public:
    class Iterator {
      public:
        Iterator(const MidiFile* song, int16_t track, int32_t index);
        PlacedEvent operator*() const;
        Iterator& operator++() {
            ++index_;
            SkipEnded();
            return *this;
        }
        bool operator==(const Iterator& other) const {
            return track_ == other.track_ && index_ == other.index_;
        }

      private:
        void SkipEnded();
        const MidiFile* song_;
        int16_t track_;
        int32_t index_;
    };
    explicit SongEventRange(const MidiFile* song) : song_(song) {}
    Iterator begin() const { return {song_, 0, 0}; }
    Iterator end() const;

  private:
    const MidiFile* song_;
};

struct MidiHeader {
    int32_t Length = 0;  // the header chunk's length field as read
    int16_t Format = 0;
    int16_t NumTracks = 0;  // the track chunks the song holds (read, not announced)
    // Ticks per quarter note, or with the top bit set (negative here) SMPTE
    // time: the high byte minus the frames per second, the low byte the
    // ticks per frame. The 16 bits as the file holds them.
    int16_t Division = 0;

    friend bool operator==(const MidiHeader&, const MidiHeader&) = default;
};

struct MidiFile {
    MidiHeader Header;
    std::vector<MidiTrack> Tracks;
    std::vector<int32_t> EventCount;
    std::vector<std::string> TrackName;
    std::vector<std::string> InstrumentName;
    int16_t TrackSlots = 0;
    int32_t EventSlots = 0;
    int32_t Tempo = 0;  // beats per minute of the first tempo event (0: none)
    int16_t KeySignature = 0;
    int16_t KeyMode = 0;
    int16_t TimeSigNumerator = 0;
    int32_t TimeSigDenominator = 0;  // 0: none, or beyond 2^30
    bool HasKaraokeText = false;
    bool HasLyrics = false;
    std::string Copyright;
    int32_t FileLength = 0;
    std::string KaraokeText;
    std::string LyricText;

    // Checked access to slot t of the per-track arrays.
    MidiTrack& Track(int32_t t);
    const MidiTrack& Track(int32_t t) const;
    int32_t& Count(int32_t t);
    int32_t Count(int32_t t) const;
    std::string& NameOf(int32_t t);
    std::string& InstrumentOf(int32_t t);

    // for (const MidiEvent& e : song.Events(t)): the events of track t.
    TrackEventRange Events(int32_t t) const { return {&Track(t), Count(t)}; }
    MutableTrackEventRange Events(int32_t t) { return {&Track(t), Count(t)}; }
    // for (const auto [t, i, e] : song.AllEvents()): every event of the real
    // tracks with its track and place.
    SongEventRange AllEvents() const { return SongEventRange(this); }
};

// Empties the song: one element in each per-track array (Tracks(0) without an
// events array), every number 0 and every text empty.
void ResetMidiFile(MidiFile& Song);

// The number of real tracks: the track chunks that the song holds, numbered
// 0 to RealTrackCount - 1 (the spare slots behind them are not counted).
int16_t RealTrackCount(const MidiFile& Song);

// Gives the four per-track arrays the bounds 0 to NewUpper, sets TrackSlots,
// then calls ResizeEvents with the current EventSlots.
void ResizeTracks(MidiFile& Song, int32_t NewUpper, bool Clear);

// Gives the events array of every slot 0 to TrackSlots - 1 the bounds 0 to
// NewUpper and sets EventSlots. EventCount is left as it is.
void ResizeEvents(MidiFile& Song, int32_t NewUpper, bool Clear);

}  // namespace verselane
