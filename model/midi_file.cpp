#include "model/midi_file.h"

#include "model/errors.h"

namespace verselane {

void MidiTrack::RaiseOutOfRange() {
    Raise(ErrorKind::SubscriptOutOfRange);
}

const MidiEvent& MidiTrack::EmptyEvent() {
    static const MidiEvent kEmpty;
    return kEmpty;
}

MidiEvent& MidiTrack::GrowTo(size_t at) {
    stored_.resize(at + 1);
    return stored_[at];
}

void MidiTrack::ResizeToLastIndex(int32_t upper, bool clear) {
    if (upper < -1) Raise(ErrorKind::SubscriptOutOfRange);
    if (clear) {
        std::vector<MidiEvent>().swap(stored_);
    } else if (stored_.size() > static_cast<size_t>(upper + 1)) {
        stored_.resize(static_cast<size_t>(upper + 1));
    }
    dimensioned_ = true;
    upper_ = upper;
}

void MidiTrack::Reserve(int32_t n) {
    if (!dimensioned_ || n <= 0) return;
    stored_.reserve(static_cast<size_t>(std::min(n, upper_ + 1)));
}

static void CheckSlot(const MidiFile& song, int32_t t) {
    if (t < 0 || static_cast<size_t>(t) >= song.Tracks.size()) {
        Raise(ErrorKind::SubscriptOutOfRange);
    }
}

MidiTrack& MidiFile::Track(int32_t t) {
    CheckSlot(*this, t);
    return Tracks[t];
}
const MidiTrack& MidiFile::Track(int32_t t) const {
    CheckSlot(*this, t);
    return Tracks[t];
}
int32_t& MidiFile::Count(int32_t t) {
    CheckSlot(*this, t);
    return EventCount[t];
}
int32_t MidiFile::Count(int32_t t) const {
    CheckSlot(*this, t);
    return EventCount[t];
}
std::string& MidiFile::NameOf(int32_t t) {
    CheckSlot(*this, t);
    return TrackName[t];
}
std::string& MidiFile::InstrumentOf(int32_t t) {
    CheckSlot(*this, t);
    return InstrumentName[t];
}

void ResetMidiFile(MidiFile& Song) {
    Song = MidiFile{};
    Song.Tracks.resize(1);
    Song.EventCount.resize(1);
    Song.TrackName.resize(1);
    Song.InstrumentName.resize(1);
}

template <typename T>
static void ResizeArray(std::vector<T>& array, size_t size, bool clear) {
    if (clear) std::vector<T>().swap(array);
    array.resize(size);
}

int16_t RealTrackCount(const MidiFile& Song) {
    // A header may announce more chunks than the file holds; the slots behind
    // the real tracks are spares.
    int32_t n = std::min<int32_t>(Song.Header.NumTracks, Song.TrackSlots);
    n = std::min<int32_t>(n, static_cast<int32_t>(Song.Tracks.size()));
    return static_cast<int16_t>(std::max(n, 0));
}

void ResizeTracks(MidiFile& Song, int32_t NewUpper, bool Clear) {
    int16_t upper = ToInt16(NewUpper);
    if (upper < 0) Raise(ErrorKind::SubscriptOutOfRange);
    size_t size = static_cast<size_t>(upper) + 1;
    ResizeArray(Song.Tracks, size, Clear);
    ResizeArray(Song.EventCount, size, Clear);
    ResizeArray(Song.InstrumentName, size, Clear);
    ResizeArray(Song.TrackName, size, Clear);
    Song.TrackSlots = upper;
    ResizeEvents(Song, Song.EventSlots, Clear);
}

void ResizeEvents(MidiFile& Song, int32_t NewUpper, bool Clear) {
    for (int32_t t = 0; t <= Song.TrackSlots - 1; ++t)
        Song.Track(t).ResizeToLastIndex(NewUpper, Clear);
    Song.EventSlots = NewUpper;
}

SongEventRange::Iterator::Iterator(const MidiFile* song, int16_t track, int32_t index)
    : song_(song), track_(track), index_(index) {
    SkipEnded();
}

PlacedEvent SongEventRange::Iterator::operator*() const {
    return {track_, index_, song_->Track(track_).Event(index_)};
}

void SongEventRange::Iterator::SkipEnded() {
    const int16_t tracks = RealTrackCount(*song_);
    while (track_ < tracks && index_ >= song_->Count(track_)) {
        ++track_;
        index_ = 0;
    }
}

SongEventRange::Iterator SongEventRange::end() const {
    return {song_, RealTrackCount(*song_), 0};
}

MidiEvent MetaEvent(int32_t Time, uint8_t Type, std::string_view Data) {
    MidiEvent e;
    e.Time = Time;
    e.Kind = kKindMeta;
    e.Channel = Type;
    e.Data = Data;
    return e;
}

}  // namespace verselane
