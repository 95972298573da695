#include "codec/midi_codec.h"

#include <cstring>

namespace verselane {

VarLenBytes EncodeVarLen(int32_t Value) {
    char bytes[4];
    VarLenBytes v;
    v.Count = static_cast<uint8_t>(PutVarLen(bytes, Value) - bytes);
    std::memcpy(v.Bytes, bytes, v.Count);
    return v;
}

int32_t DecodeVarLen(const VarLenBytes& Bytes) {
    if (Bytes.Count < 1 || Bytes.Count > 4) return 0;
    int32_t value = 0;
    EventFault fault = EventFault::None;
    // The last byte ends the number whatever its top bit says.
    uint8_t bytes[4];
    std::memcpy(bytes, Bytes.Bytes, 4);
    bytes[Bytes.Count - 1] &= 0x7F;
    DecodeVarLenAt(bytes, bytes + Bytes.Count, value, fault);
    return value;
}

void WriteLong(std::string& Out, int32_t Value) {
    char bytes[4];
    Out.append(bytes, PutLong(bytes, Value));
}

void WriteInteger(std::string& Out, int16_t Value) {
    char bytes[2];
    Out.append(bytes, PutInteger(bytes, Value));
}

void WriteVarLen(std::string& Out, int32_t Value) {
    char bytes[4];
    Out.append(bytes, PutVarLen(bytes, Value));
}

EventTally TallyEvents(std::string_view bytes) {
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
    const uint8_t* end = p + bytes.size();
    uint8_t running = 0;
    DecodedEvent e;
    EventFault fault = EventFault::None;
    EventTally tally;
    while (p != end && (p = DecodeNextEvent(p, end, running, e, fault)) != nullptr) {
        ++tally.Events;
        const bool has_body = e.Status == 0xF0 || e.Status == 0xF7 || e.Status == 0xFF;
        if (has_body && e.BodyLength > 0) tally.BodyBytes += int64_t{e.BodyLength} + 4;
    }
    return tally;
}

// Whether a system-exclusive body holds a byte of 0x80 or above other than
// the F7 that may end it.
static bool HasHighDataByte(std::string_view body) {
    if (!body.empty() && static_cast<uint8_t>(body.back()) == 0xF7) body.remove_suffix(1);
    for (char c : body)
        if (static_cast<uint8_t>(c) & 0x80) return true;
    return false;
}

void RaiseTooLarge(const char* what, int64_t value) {
    Raise(ErrorKind::Overflow,
          std::string(what) + " of " + std::to_string(value) + " is larger than 0x0FFFFFFF");
}

void RaiseUnwritable(const Event& e, const char* why) {
    const int kind = static_cast<uint8_t>(e.Kind);
    const int channel_or_type = e.IsMeta() ? e.MetaType() : e.Channel;
    Raise(ErrorKind::InvalidArgument, std::string(why) + " (kind " + std::to_string(kind) +
                                          ", channel or type " + std::to_string(channel_or_type) +
                                          ")");
}

char* EncodeOtherEventHead(char* p, const Event& e, const Track& track, uint8_t& last_status,
                           std::string_view& body) {
    body = {};
    last_status = 0;  // only channel messages leave their status out
    switch (e.Kind) {
        case EventKind::SysEx:
        case EventKind::Escape:
        case EventKind::Meta:
            *p++ = static_cast<char>(e.Kind);
            if (e.IsMeta()) {
                *p++ = static_cast<char>(e.MetaType());
                // The end of a track carries nothing, whatever the song holds.
                if (e.MetaType() == kMetaEndOfTrack) {
                    *p++ = 0;
                    return p;
                }
            }
            body = track.Body(e);
            if (e.IsSysEx() && HasHighDataByte(body)) {
                RaiseUnwritable(e, "a system-exclusive byte of 0x80 or above before its end");
            }
            return PutVarLen(p, static_cast<int64_t>(body.size()), "an event's length");
        case EventKind::System:
            // 0xF0, 0xF7 and 0xFF would make it another kind of event; F4,
            // F5, F9 and FD are no message at all.
            if (e.Channel == 0x0 || e.Channel == 0x7 || e.Channel > 0xE || e.Channel == 0x4 ||
                e.Channel == 0x5 || e.Channel == 0x9 || e.Channel == 0xD) {
                RaiseUnwritable(e, "no system message has this status");
            }
            break;
        default:
            RaiseUnwritable(e, "no message has this status");
    }
    const uint8_t status = StatusOf(e);
    const int n = DataBytesOfStatus(status);
    if (((n >= 1 ? e.Data1 : 0) | (n >= 2 ? e.Data2 : 0)) & 0x80) {
        RaiseUnwritable(e, "a data byte of 0x80 or above");
    }
    *p++ = static_cast<char>(status);
    if (n >= 1) *p++ = static_cast<char>(e.Data1);
    if (n >= 2) *p++ = static_cast<char>(e.Data2);
    return p;
}

}  // namespace verselane
