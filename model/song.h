// The song model made for editing: a song of tracks, each track owning its
// name, its instrument name and its events.
//
// A track keeps its events as fixed-size records of 12 bytes in one
// contiguous block, sorted by tick, and the bodies of its meta,
// system-exclusive and escape events in one byte pool; nothing is allocated
// per event. A body is read through the track (`track.Body(event)`).
//
// Every change to a track's events goes through an EventEdit (insert,
// remove, move to another tick, replace), and applying one returns its exact
// inverse, place among the events at the same tick included: applying the
// inverses in reverse order gives back the very events, so the song writes
// the same bytes again.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/division.h"
#include "model/meta_types.h"

namespace verselane {

// What an event is. The values of the channel messages are their status
// nibble less 8; the others are the status bytes of the file.
enum class EventKind : uint8_t {
    NoteOff = 0,
    NoteOn = 1,
    KeyPressure = 2,
    Controller = 3,
    ProgramChange = 4,
    ChannelPressure = 5,
    PitchBend = 6,
    System = 7,  // 0xF1-0xF6, 0xF8-0xFE: the low nibble in Channel
    SysEx = 0xF0,
    Escape = 0xF7,
    Meta = 0xFF,
};

// One event of a track. Channel messages use Channel, Data1 and Data2; a
// system message keeps the low nibble of its status in Channel (no data
// bytes but those DataBytesOfStatus names); meta, system-exclusive and
// escape events have a body in their track's pool, and a meta event its
// type (MetaType()) in the byte that channel messages use for Data1.
struct Event {
    int32_t Tick = 0;  // absolute ticks from the start of the track
    EventKind Kind = EventKind::NoteOff;
    uint8_t Channel = 0;
    uint8_t Data1 = 0;
    uint8_t Data2 = 0;
    uint32_t BodyAt = 0;  // where the body sits in the track's pool (0: empty)

    static Event Message(int32_t tick, EventKind kind, uint8_t channel, uint8_t data1,
                         uint8_t data2 = 0) {
        return {tick, kind, channel, data1, data2, 0};
    }
    // A meta event of `type`; its body is given where it is stored
    // (Track::Append, EventEdit).
    static Event Meta(int32_t tick, uint8_t type) { return {tick, EventKind::Meta, 0, type, 0, 0}; }

    uint8_t MetaType() const { return Data1; }
    bool IsChannelMessage() const { return static_cast<uint8_t>(Kind) <= 6; }
    bool HasBody() const {
        return Kind == EventKind::Meta || Kind == EventKind::SysEx || Kind == EventKind::Escape;
    }
    bool IsMeta() const { return Kind == EventKind::Meta; }
    bool IsMeta(uint8_t type) const { return Kind == EventKind::Meta && Data1 == type; }
    // A note-on of velocity above 0: a note starts.
    bool IsNoteOn() const { return Kind == EventKind::NoteOn && Data2 > 0; }
    // A note-off, or a note-on of velocity 0: a note ends.
    bool IsNoteOff() const {
        return Kind == EventKind::NoteOff || (Kind == EventKind::NoteOn && Data2 == 0);
    }
    // A meta event of one of the text types (text, copyright, track name,
    // instrument, lyric, marker, cue point).
    bool IsTextMeta() const { return Kind == EventKind::Meta && Data1 >= 1 && Data1 <= 7; }
    bool IsSysEx() const { return Kind == EventKind::SysEx; }
    bool IsText() const { return IsMeta(kMetaText); }
    bool IsLyric() const { return IsMeta(kMetaLyric); }
    bool IsEndOfTrack() const { return IsMeta(kMetaEndOfTrack); }

    friend bool operator==(const Event&, const Event&) = default;
};
static_assert(sizeof(Event) == 12, "the records of a 20 MB song must stay within 4 bytes a byte");

class Song;

// One change to the events of a track. Index is the event's place in the
// track (for Insert, the place it takes; for Move, the place it leaves);
// To is the place a moved event takes at its new tick. The event and Body
// are the new event (Insert, Replace) or the event removed (Remove); Move
// uses only Index, To and the event's Tick (the new tick).
struct EventEdit {
    enum class Action : uint8_t { Insert, Remove, Move, Replace };
    Action What = Action::Replace;
    int16_t Track = 0;
    int32_t Index = 0;
    int32_t To = 0;
    Event Record;
    std::string Body;

    static EventEdit Insert(int16_t track, int32_t index, Event record, std::string_view body = {});
    static EventEdit Remove(int16_t track, int32_t index);
    // The event at `index` to `tick`, at place `to` of the track once it has
    // left its own (-1: after the events already at `tick`).
    static EventEdit Move(int16_t track, int32_t index, int32_t tick, int32_t to = -1);
    static EventEdit Replace(int16_t track, int32_t index, Event record,
                             std::string_view body = {});
};

class Track {
  public:
    std::string Name;        // from its first Track Name event, as read
    std::string Instrument;  // from its first Instrument Name event, as read

    Track();

    int32_t Size() const { return static_cast<int32_t>(events_.size()); }
    bool Empty() const { return events_.empty(); }
    const Event& operator[](int32_t i) const { return events_[static_cast<size_t>(i)]; }
    const Event& At(int32_t i) const;  // checked: SubscriptOutOfRange
    std::vector<Event>::const_iterator begin() const { return events_.begin(); }
    std::vector<Event>::const_iterator end() const { return events_.end(); }

    // The body of an event of this track (empty for events without one).
    std::string_view Body(const Event& e) const;

    // Adds an event at the end, as the reader and the converters build
    // tracks; the track's order is the caller's (the file's order). Events
    // without a body (nearly all of a song) are stored inline, with no call.
    [[gnu::always_inline]] void Append(Event e, std::string_view body = {}) {
        if (e.HasBody()) return AppendWithBody(e, body);
        e.BodyAt = 0;
        events_.push_back(e);
    }
    // Changes in place that keep the track's tick order, for converters that
    // rewrite a whole track in one pass (edits a user may undo go through
    // Song::Apply): the record of event i (its Tick must stay between its
    // neighbours'), and the body of event i (the old bytes stay in the pool
    // until the track is rebuilt).
    Event& Record(int32_t i) { return events_[static_cast<size_t>(i)]; }
    void SetBody(int32_t i, std::string_view body);
    // Removes every event, and the bodies with them.
    void Clear();
    // Room for `events` events and `body_bytes` bytes of bodies, taken once.
    void Reserve(int32_t events, size_t body_bytes = 0);
    // The events the track has room for without taking more.
    int32_t Capacity() const { return static_cast<int32_t>(events_.capacity()); }
    // The bytes the pool holds (bodies of events edited away included).
    size_t PoolBytes() const { return pool_.size(); }

  private:
    friend class Song;
    uint32_t Store(std::string_view body);
    void AppendWithBody(Event e, std::string_view body);
    void CheckSorted(int32_t at, int32_t tick) const;

    std::vector<Event> events_;
    std::string pool_;  // 4 zero bytes (the empty body), then length + bytes per body
};

class Song {
  public:
    int32_t HeaderLength = 6;  // the header chunk's length field as read
    int16_t Format = 1;
    int16_t Division = 480;  // as the file holds it (see IsSmpteDivision)
    std::vector<Track> Tracks;

    int16_t TrackCount() const { return static_cast<int16_t>(Tracks.size()); }
    // Puts `track` at place `at` (0 to TrackCount()); the tracks from `at`
    // move one place up.
    void InsertTrack(int16_t at, Track track);
    Track& At(int16_t t);  // checked: SubscriptOutOfRange
    const Track& At(int16_t t) const;

    // Makes the edit and returns its exact inverse. Raises InvalidArgument,
    // the song unchanged, for an edit that would leave the track out of tick
    // order, and SubscriptOutOfRange for a track or place that is not there.
    EventEdit Apply(const EventEdit& edit);

    // Every event of the song with its track and place, track by track.
    struct Placed {
        int16_t Track;
        int32_t Index;
        const Event& Record;
    };
    class EventRange;
    EventRange AllEvents() const;
};

class Song::EventRange {
  public:
    class Iterator {
      public:
        Iterator(const Song* song, int16_t track, int32_t index)
            : song_(song), track_(track), index_(index) {
            SkipEmpty();
        }
        Placed operator*() const { return {track_, index_, song_->Tracks[track_][index_]}; }
        Iterator& operator++() {
            ++index_;
            SkipEmpty();
            return *this;
        }
        bool operator==(const Iterator& other) const {
            return track_ == other.track_ && index_ == other.index_;
        }

      private:
        void SkipEmpty() {
            while (track_ < song_->TrackCount() && index_ >= song_->Tracks[track_].Size()) {
                ++track_;
                index_ = 0;
            }
        }
        const Song* song_;
        int16_t track_;
        int32_t index_;
    };
    explicit EventRange(const Song* song) : song_(song) {}
    Iterator begin() const { return {song_, 0, 0}; }
    Iterator end() const { return {song_, song_->TrackCount(), 0}; }

  private:
    const Song* song_;
};

inline Song::EventRange Song::AllEvents() const {
    return EventRange(this);
}

}  // namespace verselane
