#include "reader/event_decoding.h"

#include <algorithm>

#include "model/errors.h"

namespace verselane {

namespace {

constexpr std::string_view kCrLf = "\r\n";

// A lyric's line marks become line ends where they stand, its syllables
// kept: a carriage return ends a line, a line feed (as in the LF CR of a
// paragraph mark) leaves an empty line after it as well.
void AppendLyric(std::string& lyrics, std::string_view text) {
    while (!text.empty()) {
        const size_t mark = std::min(text.find_first_of("\r\n"), text.size());
        lyrics.append(text.substr(0, mark));
        const size_t after = std::min(text.find_first_not_of("\r\n", mark), text.size());
        if (after > mark) {
            lyrics.append(kCrLf);
            if (text.substr(mark, after - mark).find('\n') != std::string_view::npos) {
                lyrics.append(kCrLf);
            }
        }
        text.remove_prefix(after);
    }
}

void ApplyMetaRules(MidiFile& song, ReadState& state, uint8_t type, std::string_view text) {
    switch (type) {
        case kMetaText:
            if (text.find("@K") != std::string_view::npos) song.HasKaraokeText = true;
            if (!text.empty() && text[0] == '@') {
                song.KaraokeText.append(text).append(kCrLf);
            } else if (!text.empty() && text[0] == '/') {
                song.KaraokeText.append(kCrLf).append(text);
            } else if (!text.empty() && text[0] == '\\') {
                song.KaraokeText.append(kCrLf).append(kCrLf).append(text);
            } else {
                song.KaraokeText.append(text);
            }
            break;
        case kMetaCopyright:
            song.Copyright = text;
            break;
        case kMetaTrackName:
            song.NameOf(state.TrackIndex) = text;
            break;
        case kMetaInstrument:
            song.InstrumentOf(state.TrackIndex) = text;
            break;
        case kMetaLyric:
            song.HasLyrics = true;
            AppendLyric(song.LyricText, text);
            break;
        case kMetaTempo:
            if (!(state.FoundFlags & 1)) {
                if (text.size() < 3) Raise(ErrorKind::InvalidArgument);
                int32_t micros = BytesToLong24(text);
                if (micros == 0) Raise(ErrorKind::DivisionByZero);
                song.Tempo = ToInteger(60000000 / micros);
                state.FoundFlags |= 1;
            }
            break;
        case kMetaTimeSignature:
            if (!(state.FoundFlags & 4)) {
                if (text.size() < 2) Raise(ErrorKind::InvalidArgument);
                song.TimeSigNumerator = static_cast<uint8_t>(text[0]);
                uint8_t power = static_cast<uint8_t>(text[1]);
                song.TimeSigDenominator = ToInteger(power < 32 ? int64_t{1} << power : INT64_MAX);
                state.FoundFlags |= 4;
            }
            break;
        case kMetaKeySignature:
            if (!(state.FoundFlags & 2)) {
                if (text.size() < 2) Raise(ErrorKind::InvalidArgument);
                song.KeySignature = static_cast<uint8_t>(text[0]);
                song.KeyMode = static_cast<uint8_t>(text[1]);
                state.FoundFlags |= 2;
            }
            break;
        default:
            break;
    }
}

}  // namespace

int DataBytesOfKind(uint8_t kind) {
    switch (kind) {
        case 0:
        case 1:
        case 2:
        case 3:
        case 6:
            return 2;
        case 4:
        case 5:
            return 1;
        default:
            return 0;
    }
}

int32_t BytesToLong24(std::string_view text) {
    if (text.size() < 3) Raise(ErrorKind::InvalidArgument);
    auto code = [&](size_t k) { return int32_t{static_cast<uint8_t>(text[k])}; };
    return code(0) * 65536 + code(1) * 256 + code(2);
}

EventStep ReadEvent(MidiFile& Song, ByteSource& FileNum, ReadState& State) {
    MidiTrack& track = Song.Track(State.TrackIndex);
    const int32_t index = Song.Count(State.TrackIndex);
    // A full track is an error before anything of the event is read; the slot
    // itself is taken only for a whole event.
    if (index > track.Upper()) Raise(ErrorKind::SubscriptOutOfRange);

    EventHeader head = ReadEventHeader(FileNum);
    MidiEvent e;
    e.Time = AddLong(State.AbsTime, head.Delta);
    e.Kind = static_cast<uint8_t>(head.Status);
    const uint8_t status = static_cast<uint8_t>(head.Status);

    if (status == 0xF0 || status == 0xF7 || status == 0xFF) {
        std::string_view body = FileNum.ReadBytes(head.Length);
        if (FileNum.Eof()) return EventStep::CutShort;
        e.Data = body;
        if (status == 0xFF) {
            e.Channel = static_cast<uint8_t>(head.MetaType);
            ApplyMetaRules(Song, State, e.Channel, body);
        }
    } else if (status >= 0x80) {
        State.RunKind = (status & 0x7F) / 16;
        State.RunChannel = status & 0x0F;
        e.Kind = State.RunKind;
        e.Channel = State.RunChannel;
        int count = DataBytesOfKind(e.Kind);
        if (count >= 1) e.Data1 = FileNum.ReadByte();
        if (count >= 2) e.Data2 = FileNum.ReadByte();
    } else {
        e.Kind = State.RunKind;
        e.Channel = State.RunChannel;
        int count = DataBytesOfKind(e.Kind);
        if (count >= 1) e.Data1 = status;
        if (count >= 2) e.Data2 = FileNum.ReadByte();
    }
    if (FileNum.Eof()) return EventStep::CutShort;

    State.AbsTime = e.Time;
    track.Event(index) = std::move(e);
    return EventStep::Stored;
}

}  // namespace verselane
