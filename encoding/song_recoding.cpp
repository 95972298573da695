#include "encoding/song_recoding.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "check/song_check.h"
#include "encoding/text_encoding.h"

namespace verselane {

namespace {

bool IsAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= 0; });
}

bool SameEncoding(std::string a, std::string b) {
    auto fold = [](std::string& s) {
        std::erase_if(s, [](char c) { return c == '-' || c == '_'; });
        for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    };
    fold(a);
    fold(b);
    return a == b;
}

// One iconv conversion, or nothing when a character has no place in `to`.
class Converter {
  public:
    Converter(const std::string& to, const std::string& from)
        : cd_(iconv_open(to.c_str(), from.c_str())) {
        if (cd_ == reinterpret_cast<iconv_t>(-1)) {
            throw std::invalid_argument("unknown encoding: " + from + " or " + to);
        }
    }
    ~Converter() { iconv_close(cd_); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    std::optional<std::string> Convert(std::string_view text) const {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        std::string out(text.size() * 4 + 16, '\0');
        char* in = const_cast<char*>(text.data());  // iconv does not write its input
        size_t in_left = text.size();
        char* next = out.data();
        size_t room = out.size();
        if (iconv(cd_, &in, &in_left, &next, &room) == static_cast<size_t>(-1)) return {};
        if (iconv(cd_, nullptr, nullptr, &next, &room) == static_cast<size_t>(-1)) return {};
        out.resize(out.size() - room);
        return out;
    }

  private:
    iconv_t cd_;
};

}  // namespace

RecodeOutcome RecodeSongTexts(MidiFile& Song, const std::string& Target,
                              const std::string& Source) {
    std::vector<MidiEvent*> texts;
    std::vector<std::string_view> legacy;
    for (int32_t t = 0; t < std::min<int32_t>(Song.Header.NumTracks, Song.TrackSlots); ++t) {
        for (int32_t i = 0; i < Song.Count(t); ++i) {
            MidiEvent& e = Song.Track(t).Event(i);
            if (e.Kind != kKindMeta || e.Channel < 1 || e.Channel > 7 || IsAscii(e.Data)) continue;
            texts.push_back(&e);
            if (!IsValidUtf8(e.Data)) legacy.push_back(e.Data.view());
        }
    }
    const std::string from_legacy = Source.empty() ? DetectEncoding(legacy) : Source;
    const Converter from_utf8(Target, "UTF-8");
    const Converter from_other(Target, from_legacy);
    const bool target_utf8 = SameEncoding(Target, "UTF-8");
    const bool legacy_is_target = SameEncoding(Target, from_legacy);
    RecodeOutcome outcome;
    for (MidiEvent* e : texts) {
        const bool utf8 = IsValidUtf8(e->Data);
        if ((utf8 && target_utf8) || (!utf8 && legacy_is_target)) continue;
        std::optional<std::string> recoded = (utf8 ? from_utf8 : from_other).Convert(e->Data);
        if (!recoded) {
            ++outcome.Kept;
            continue;
        }
        e->Data = std::string_view(*recoded);
        ++outcome.Changed;
    }
    for (int32_t t = 0; t < std::min<int32_t>(Song.Header.NumTracks, Song.TrackSlots); ++t) {
        for (int32_t i = 0; i < Song.Count(t); ++i) {
            const MidiEvent& e = Song.Track(t).Event(i);
            if (e.Kind != kKindMeta) continue;
            if (e.Channel == kMetaTrackName) Song.TrackName[t] = e.Data.str();
            if (e.Channel == kMetaInstrument) Song.InstrumentName[t] = e.Data.str();
        }
    }
    return outcome;
}

}  // namespace verselane
