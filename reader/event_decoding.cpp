#include "reader/event_decoding.h"

#include <algorithm>
#include <string>

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

void ApplyMetaRules(Track& track, SongFacts& facts, ReadState& state, uint8_t type,
                    std::string_view text) {
    switch (type) {
        case kMetaText:
            if (text.find("@K") != std::string_view::npos) facts.HasKaraokeText = true;
            if (!text.empty() && text[0] == '@') {
                facts.KaraokeText.append(text).append(kCrLf);
            } else if (!text.empty() && text[0] == '/') {
                facts.KaraokeText.append(kCrLf).append(text);
            } else if (!text.empty() && text[0] == '\\') {
                facts.KaraokeText.append(kCrLf).append(kCrLf).append(text);
            } else {
                facts.KaraokeText.append(text);
            }
            break;
        case kMetaCopyright:
            facts.Copyright = text;
            break;
        case kMetaTrackName:
            track.Name = text;
            break;
        case kMetaInstrument:
            track.Instrument = text;
            break;
        case kMetaLyric:
            facts.HasLyrics = true;
            AppendLyric(facts.LyricText, text);
            break;
        case kMetaTempo:
            if (!(state.FoundFlags & 1)) {
                if (text.size() < 3)
                    Raise(ErrorKind::InvalidArgument, "a tempo event shorter than three bytes");
                int32_t micros = BytesToLong24(text);
                if (micros == 0)
                    Raise(ErrorKind::DivisionByZero, "a tempo of zero microseconds per beat");
                // Up to 60 million beats per minute (1 microsecond a beat).
                facts.Tempo = 60000000 / micros;
                state.FoundFlags |= 1;
            }
            break;
        case kMetaTimeSignature:
            if (!(state.FoundFlags & 4)) {
                if (text.size() < 2)
                    Raise(ErrorKind::InvalidArgument, "a time signature shorter than two bytes");
                facts.TimeSigNumerator = static_cast<uint8_t>(text[0]);
                // A denominator beyond 2^30 has no number here: it stays 0.
                const uint8_t power = static_cast<uint8_t>(text[1]);
                facts.TimeSigDenominator = power <= 30 ? int32_t{1} << power : 0;
                state.FoundFlags |= 4;
            }
            break;
        case kMetaKeySignature:
            if (!(state.FoundFlags & 2)) {
                if (text.size() < 2)
                    Raise(ErrorKind::InvalidArgument, "a key signature shorter than two bytes");
                facts.KeySignature = static_cast<uint8_t>(text[0]);
                facts.KeyMode = static_cast<uint8_t>(text[1]);
                state.FoundFlags |= 2;
            }
            break;
        default:
            break;
    }
}

}  // namespace

int32_t BytesToLong24(std::string_view text) {
    if (text.size() < 3) Raise(ErrorKind::InvalidArgument, "fewer than three bytes");
    auto code = [&](size_t k) { return int32_t{static_cast<uint8_t>(text[k])}; };
    return code(0) * 65536 + code(1) * 256 + code(2);
}

void StoreBodyEvent(Track& track, SongFacts& facts, ReadState& state, int32_t tick,
                    const DecodedEvent& decoded) {
    const std::string_view body(decoded.Body, static_cast<size_t>(decoded.BodyLength));
    if (decoded.Status == 0xFF) {
        ApplyMetaRules(track, facts, state, decoded.MetaType, body);
        track.Append(Event::Meta(tick, decoded.MetaType), body);
        return;
    }
    track.Append({tick, static_cast<EventKind>(decoded.Status), 0, 0, 0, 0}, body);
}

}  // namespace verselane
