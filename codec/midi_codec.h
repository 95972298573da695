// The byte grammar of a Standard MIDI File, written once: variable-length
// numbers and big-endian fields, how many data bytes follow each status
// byte, the decoding of one track event and the encoding of one.
//
// The reader and the writer both go through these functions; the hot ones
// are inline, since every event of a song passes through them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "model/errors.h"
#include "model/song.h"

namespace verselane {

// The largest value four bytes of a variable-length number hold.
constexpr int32_t kLargestVarLen = 0x0FFFFFFF;

// ---- Numbers --------------------------------------------------------------

// Bytes of the variable-length number of `value` (0 to 0x0FFFFFFF).
constexpr int VarLenSize(int64_t value) {
    return value < 0x80 ? 1 : value < 0x4000 ? 2 : value < 0x200000 ? 3 : 4;
}

// Writes `value` at `p` as a variable-length number and returns the end.
// Values outside 0 to 0x0FFFFFFF are an Overflow naming `what`.
inline char* PutVarLen(char* p, int64_t value, const char* what = "a variable-length number") {
    if (static_cast<uint64_t>(value) < 0x80) {  // most deltas: one byte
        *p = static_cast<char>(value);
        return p + 1;
    }
    if (value < 0 || value > kLargestVarLen) {
        Raise(ErrorKind::Overflow,
              std::string(what) + " of " + std::to_string(value) + " is larger than 0x0FFFFFFF");
    }
    const int n = VarLenSize(value);
    for (int i = n - 1; i > 0; --i) *p++ = static_cast<char>(0x80 | ((value >> (7 * i)) & 0x7F));
    *p++ = static_cast<char>(value & 0x7F);
    return p;
}

// 4 bytes, most significant first; a negative value is an Overflow.
inline char* PutLong(char* p, int32_t value) {
    if (value < 0) Raise(ErrorKind::Overflow, "a negative 32-bit field");
    for (int i = 3; i >= 0; --i) *p++ = static_cast<char>(value >> (8 * i));
    return p;
}

// 2 bytes, high byte first; a negative value is an Overflow.
inline char* PutInteger(char* p, int16_t value) {
    if (value < 0) Raise(ErrorKind::Overflow, "a negative 16-bit field");
    *p++ = static_cast<char>(value >> 8);
    *p++ = static_cast<char>(value & 0xFF);
    return p;
}

// The bytes of one variable-length quantity, in file order.
struct VarLenBytes {
    uint8_t Bytes[4] = {0, 0, 0, 0};
    uint8_t Count = 0;  // 1 to 4: how many of Bytes belong to the quantity
};

// The bytes of the variable-length number of `Value`, as PutVarLen writes them.
VarLenBytes EncodeVarLen(int32_t Value);
// The value of a variable-length number's bytes (0 for a Count outside 1 to 4).
int32_t DecodeVarLen(const VarLenBytes& Bytes);
// Appending fields to a buffer, through the functions above.
void WriteLong(std::string& Out, int32_t Value);
void WriteInteger(std::string& Out, int16_t Value);
void WriteVarLen(std::string& Out, int32_t Value);

// ---- Data bytes -----------------------------------------------------------

// Data bytes after a status byte: channel messages by kind, system common
// messages by status (F1 and F3 one, F2 two, F6 none), real-time bytes none.
// 0xF0, 0xF7 and 0xFF carry a body with its length instead.
// The tables live in static storage: a table local to the function would be
// built on the stack for every event.
inline constexpr uint8_t kChannelDataBytes[8] = {2, 2, 2, 2, 1, 1, 2, 0};
inline constexpr uint8_t kSystemDataBytes[16] = {0, 1, 2, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
inline int DataBytesOfStatus(uint8_t status) {
    return status < 0xF0 ? kChannelDataBytes[(status >> 4) & 7] : kSystemDataBytes[status & 0x0F];
}

// The status byte of a stored channel (kind 0 to 6) or system (kind 7)
// message.
constexpr uint8_t StatusOf(const Event& e) {
    const uint8_t kind = static_cast<uint8_t>(e.Kind);
    return e.Kind == EventKind::System
               ? static_cast<uint8_t>(0xF0 + (e.Channel & 0x0F))
               : static_cast<uint8_t>(0x80 + 16 * kind + (e.Channel & 0x0F));
}

// ---- Decoding -------------------------------------------------------------

// What stopped the decoding of an event.
enum class EventFault : uint8_t {
    None,
    CutShort,      // the bytes end inside the event
    LongNumber,    // a variable-length number of more than four bytes
    NoStatus,      // a data byte where a status was due, with none in effect
    HighDataByte,  // a byte of 0x80 or above where a data byte was due
};

// One event as the file holds it.
struct DecodedEvent {
    int32_t Delta = 0;
    uint8_t Status = 0;  // the running status for a message that leaves it out
    uint8_t MetaType = 0;
    uint8_t Data1 = 0;
    uint8_t Data2 = 0;
    const char* Body = nullptr;  // sysex, escape and meta events
    int32_t BodyLength = 0;      // as declared, also when the bytes end first
};

// Reads a variable-length number at `p`; nullptr with `fault` set when the
// bytes end first or the number runs past four bytes.
inline const uint8_t* DecodeVarLenAt(const uint8_t* p, const uint8_t* end, int32_t& value,
                                     EventFault& fault) {
    int32_t v = 0;
    for (int i = 0; i < 4; ++i) {
        if (p == end) {
            fault = EventFault::CutShort;
            return nullptr;
        }
        const uint8_t b = *p++;
        v = (v << 7) | (b & 0x7F);
        if (!(b & 0x80)) {
            value = v;
            return p;
        }
    }
    fault = EventFault::LongNumber;
    return nullptr;
}

// Decodes the event at `p` (before `end`) with `running` the status in
// effect (0 for none). Channel messages set the running status, system common
// messages end it; sysex, escape, meta and real-time events leave it. Returns
// the byte after the event, or nullptr with `fault` set.
inline const uint8_t* DecodeEvent(const uint8_t* p, const uint8_t* end, uint8_t& running,
                                  DecodedEvent& e, EventFault& fault) {
    p = DecodeVarLenAt(p, end, e.Delta, fault);
    if (!p) return nullptr;
    if (p == end) {
        fault = EventFault::CutShort;
        return nullptr;
    }
    uint8_t status = *p;
    if (status < 0x80) {
        if (running == 0) {
            fault = EventFault::NoStatus;
            return nullptr;
        }
        status = running;  // the byte is the message's first data byte
    } else {
        ++p;
    }
    e.Status = status;
    if (status == 0xF0 || status == 0xF7 || status == 0xFF) {
        if (status == 0xFF) {
            if (p == end) {
                fault = EventFault::CutShort;
                return nullptr;
            }
            e.MetaType = *p++;
        }
        p = DecodeVarLenAt(p, end, e.BodyLength, fault);
        if (!p) return nullptr;
        e.Body = reinterpret_cast<const char*>(p);
        if (end - p < e.BodyLength) {
            fault = EventFault::CutShort;
            return nullptr;
        }
        return p + e.BodyLength;
    }
    if (status < 0xF0) {
        running = status;
    } else if (status < 0xF8) {
        running = 0;
    }
    const int n = DataBytesOfStatus(status);
    if (end - p < n) {
        fault = EventFault::CutShort;
        return nullptr;
    }
    e.Data1 = n >= 1 ? p[0] : 0;
    e.Data2 = n >= 2 ? p[1] : 0;
    if ((e.Data1 | e.Data2) & 0x80) {
        fault = EventFault::HighDataByte;
        return nullptr;
    }
    return p + n;
}

// Decodes the event at `p` when it is a channel message of the plain kind
// that nearly every event of a song is: a delta of one or two bytes, a
// status byte or running status, data bytes below 0x80, all well before
// `end`. Returns the byte after it, the same event and running status as
// DecodeEvent gives, or nullptr for anything else (DecodeEvent then decodes
// it, faults included). Fewer tests than DecodeEvent, for the common case.
inline const uint8_t* DecodePlainMessage(const uint8_t* p, const uint8_t* end, uint8_t& running,
                                         DecodedEvent& e) {
    if (end - p < 5) return nullptr;
    int32_t delta = p[0];
    const uint8_t* q = p + 1;
    if (delta & 0x80) {
        if (p[1] & 0x80) return nullptr;
        delta = (delta & 0x7F) << 7 | p[1];
        q = p + 2;
    }
    uint8_t status = *q;
    if (status < 0x80) {
        status = running;  // only ever a channel status, or 0 for none
        if (status == 0) return nullptr;
    } else if (status >= 0xF0) {
        return nullptr;
    } else {
        ++q;
    }
    // Two bytes are there to look at: q is at most p + 3, and end at least p + 5.
    const int n = kChannelDataBytes[(status >> 4) & 7];
    const uint8_t data1 = q[0];
    const uint8_t data2 = n == 2 ? q[1] : 0;
    if ((data1 | data2) & 0x80) return nullptr;
    running = status;
    e.Delta = delta;
    e.Status = status;
    e.Data1 = data1;
    e.Data2 = data2;
    return q + n;
}

// Decodes the event at `p` as DecodeEvent does, plain channel messages by
// the shortcut.
inline const uint8_t* DecodeNextEvent(const uint8_t* p, const uint8_t* end, uint8_t& running,
                                      DecodedEvent& e, EventFault& fault) {
    if (const uint8_t* next = DecodePlainMessage(p, end, running, e)) return next;
    return DecodeEvent(p, end, running, e, fault);
}

// How many whole events the bytes hold, by the same decoding, up to the
// first fault, and the bytes their bodies take in a track's pool (each
// non-empty body with its 4-byte length): the exact room a track read from
// the bytes needs, for a reader that cannot take room by the bytes' bound.
struct EventTally {
    int64_t Events = 0;
    int64_t BodyBytes = 0;
};
EventTally TallyEvents(std::string_view bytes);

// ---- Encoding -------------------------------------------------------------

// Room for the head of any event: delta (4), status and type (2), length (4),
// or status and two data bytes.
constexpr size_t kEventHead = 10;

// Writes the head of event `e` of `track` at `head` (delta, then the status
// unless running status leaves it out, then the data bytes, or the type and
// body length) and returns its end; `body` receives the bytes that follow it.
// `last_status` is the running status of the output: only channel messages
// leave their status out, and everything else ends running status. Raises
// InvalidArgument for an event that cannot be written (no valid kind, a data
// byte of 0x80 or above) and Overflow for a delta or body beyond 0x0FFFFFFF.
inline char* EncodeEventHead(char* head, const Event& e, const Track& track, int32_t delta,
                             uint8_t& last_status, std::string_view& body);

// The end-of-track event that closes a track whose last event is not one.
constexpr std::string_view kEndOfTrack{"\x00\xFF\x2F\x00", 4};

// ---- Encoding, inline parts ---------------------------------------------

// Raises InvalidArgument for an event that cannot be written, saying why.
[[noreturn]] void RaiseUnwritable(const Event& e, const char* why);
// EncodeEventHead for everything but channel messages.
char* EncodeOtherEventHead(char* p, const Event& e, const Track& track, uint8_t& last_status,
                           std::string_view& body);

inline char* EncodeEventHead(char* p, const Event& e, const Track& track, int32_t delta,
                             uint8_t& last_status, std::string_view& body) {
    p = PutVarLen(p, delta, "a delta time");
    if (!e.IsChannelMessage() || e.Channel > 15) {
        return EncodeOtherEventHead(p, e, track, last_status, body);
    }
    // A channel message, the bulk of any song: written without branches, as
    // kinds come in any order.
    const uint8_t status = StatusOf(e);
    const int n = DataBytesOfStatus(status);
    if ((e.Data1 | (n == 2 ? e.Data2 : 0)) & 0x80) {
        RaiseUnwritable(e, "a data byte of 0x80 or above");
    }
    *p = static_cast<char>(status);
    // The status is left out when it repeats the last one, but not at time 0.
    p += (e.Tick == 0) | (status != last_status);
    last_status = status;
    p[0] = static_cast<char>(e.Data1);
    p[1] = static_cast<char>(e.Data2);
    body = {};
    return p + n;
}

}  // namespace verselane
