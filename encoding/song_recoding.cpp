#include "encoding/song_recoding.h"
#include "model/utf8.h"

#include <iconv.h>
#include <unicode/normalizer2.h>
#include <unicode/unistr.h>

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

std::string ComposedUtf8(std::string_view Utf8) {
    if (!IsValidUtf8(Utf8)) return std::string(Utf8);
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status)) return std::string(Utf8);
    const icu::UnicodeString text = icu::UnicodeString::fromUTF8(
        icu::StringPiece(Utf8.data(), static_cast<int32_t>(Utf8.size())));
    const icu::UnicodeString composed = nfc->normalize(text, status);
    if (U_FAILURE(status)) return std::string(Utf8);
    std::string out;
    composed.toUTF8String(out);
    return out;
}

RecodeOutcome RecodeSongTexts(Song& song, const std::string& Target, const std::string& Source) {
    // The texts to rewrite, by track and place.
    std::vector<std::pair<int16_t, int32_t>> texts;
    for (const auto [t, i, e] : song.AllEvents()) {
        if (e.IsTextMeta() && !IsAscii(song.Tracks[t].Body(e))) texts.emplace_back(t, i);
    }
    // The texts are read in the encoding that they are shown in: detected
    // over all of the song's texts, the ASCII ones around the others included.
    const std::string from_legacy =
        Source.empty() ? DetectEncoding(SongTexts(song)) : EncodingName(Source);
    const Converter from_utf8(Target, "UTF-8");
    const Converter from_other(Target, from_legacy);
    const TextDecoder shown_legacy(from_legacy);
    const TextDecoder read_back(Target);
    const bool target_utf8 = SameEncoding(Target, "UTF-8");
    const bool legacy_is_target = SameEncoding(Target, from_legacy);
    const auto reads_as_utf8 = Utf8TestFor(from_legacy);
    RecodeOutcome outcome;
    std::vector<std::pair<std::pair<int16_t, int32_t>, std::string>> rewritten;
    // Words (lyrics and text events) in the target, and the first word the
    // target cannot hold: both would leave the words in two encodings, which
    // is refused.
    bool word_in_target = false;
    std::optional<std::string> word_kept;
    for (const auto& [t, i] : texts) {
        const Event& e = song.Tracks[t][i];
        const std::string_view text = song.Tracks[t].Body(e);
        const bool word = e.IsLyric() || e.IsText();
        const bool utf8 = reads_as_utf8(text);
        if ((utf8 && target_utf8) || (!utf8 && legacy_is_target)) {
            word_in_target = word_in_target || word;
            continue;
        }
        std::optional<std::string> recoded = (utf8 ? from_utf8 : from_other).Convert(text);
        if (!recoded) {
            ++outcome.Kept;
            // Bytes that are no text in their own encoding either (a lyric
            // that swallowed other events) stay as they are, as before.
            if (word && !word_kept) {
                std::string shown = utf8 ? std::string(text) : shown_legacy.ToUtf8(text);
                if (shown.find("\xEF\xBF\xBD") == std::string::npos) word_kept = std::move(shown);
            }
            continue;
        }
        word_in_target = word_in_target || word;
        // The new bytes must show the same words as the old ones did.
        const std::string before =
            ComposedUtf8(utf8 ? std::string(text) : shown_legacy.ToUtf8(text));
        const std::string after = ComposedUtf8(target_utf8 ? *recoded : read_back.ToUtf8(*recoded));
        if (before != after) {
            return {0, 0, "\"" + before + "\" would read back as \"" + after + "\" in " + Target};
        }
        rewritten.emplace_back(std::pair{t, i}, std::move(*recoded));
    }
    if (word_kept && word_in_target) {
        return {0, 0,
                "\"" + *word_kept + "\" cannot be held in " + Target +
                    ", and the words would be left in two encodings"};
    }
    for (const auto& [at, bytes] : rewritten) {
        song.Tracks[at.first].SetBody(at.second, bytes);
        ++outcome.Changed;
    }
    for (Track& track : song.Tracks) {
        for (const Event& e : track) {
            if (e.IsMeta(kMetaTrackName)) track.Name = track.Body(e);
            if (e.IsMeta(kMetaInstrument)) track.Instrument = track.Body(e);
        }
    }
    return outcome;
}

}  // namespace verselane
