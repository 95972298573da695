#include "encoding/text_conversion.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <stdexcept>

#include "encoding/encoding_detection.h"

namespace verselane {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

iconv_t OpenToUtf8(const std::string& encoding) {
    return iconv_open("UTF-8", encoding.c_str());
}

// The length of the valid UTF-8 sequence at `at` (no overlong forms, no
// surrogates, nothing above U+10FFFF), or 0.
size_t Utf8SequenceAt(std::string_view text, size_t at) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80) return 1;
    size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (at + length > text.size()) return 0;
    if (byte(at + 1) < low || byte(at + 1) > high) return 0;
    for (size_t i = 2; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) return 0;
    }
    return length;
}

}  // namespace

struct TextDecoder::Impl {
    std::string encoding;
    iconv_t cd;
    std::mutex mutex;
    ~Impl() { iconv_close(cd); }
};

TextDecoder::TextDecoder(const std::string& Encoding) {
    iconv_t cd = OpenToUtf8(Encoding);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        throw std::invalid_argument("unknown encoding: " + Encoding);
    }
    impl_ = std::make_unique<Impl>();
    impl_->encoding = Encoding;
    impl_->cd = cd;
}

TextDecoder::~TextDecoder() = default;
TextDecoder::TextDecoder(TextDecoder&&) noexcept = default;
TextDecoder& TextDecoder::operator=(TextDecoder&&) noexcept = default;

const std::string& TextDecoder::Encoding() const {
    return impl_->encoding;
}

std::string TextDecoder::ToUtf8(std::string_view Bytes) const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    iconv(impl_->cd, nullptr, nullptr, nullptr, nullptr);  // a fresh shift state
    std::string out;
    char buffer[1024];
    char* in = const_cast<char*>(Bytes.data());  // iconv does not write its input
    size_t in_left = Bytes.size();
    while (in_left > 0) {
        char* next = buffer;
        size_t room = sizeof buffer;
        const size_t result = iconv(impl_->cd, &in, &in_left, &next, &room);
        const int err = errno;
        out.append(buffer, static_cast<size_t>(next - buffer));
        if (result != static_cast<size_t>(-1) || err == E2BIG) continue;
        // A byte that is not valid here (EILSEQ), or a sequence cut short at
        // the end (EINVAL): one replacement character, then on from the next byte.
        out.append(kReplacement);
        ++in;
        --in_left;
        iconv(impl_->cd, nullptr, nullptr, nullptr, nullptr);
    }
    char* next = buffer;
    size_t room = sizeof buffer;
    iconv(impl_->cd, nullptr, nullptr, &next, &room);  // the end of a shift sequence
    out.append(buffer, static_cast<size_t>(next - buffer));
    return out;
}

std::optional<std::string> Utf16TextAsUtf8(std::string_view Bytes) {
    if (Bytes.starts_with("\xFF\xFE")) return TextDecoder("UTF-16LE").ToUtf8(Bytes.substr(2));
    if (Bytes.starts_with("\xFE\xFF")) return TextDecoder("UTF-16BE").ToUtf8(Bytes.substr(2));
    return std::nullopt;
}

TextDecoder SongDecoder(const Song& song, const std::string& Override) {
    if (!Override.empty()) return TextDecoder(EncodingName(Override));
    return TextDecoder(DetectEncoding(SongTexts(song)));
}

TypedBytes TypedText(std::string_view Utf8, const std::string& Encoding) {
    iconv_t cd = iconv_open(Encoding.c_str(), "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        throw std::invalid_argument("unknown encoding: " + Encoding);
    }
    TypedBytes typed;
    std::string& clean = typed.Text;
    for (size_t i = 0; i < Utf8.size();) {
        const size_t length = Utf8SequenceAt(Utf8, i);
        const auto lead = static_cast<unsigned char>(Utf8[i]);
        if (length == 0) {
            clean.append(kReplacement);
            ++typed.Replaced;
            ++i;
            continue;
        }
        const bool control = (length == 1 && ((lead < 0x20 && lead != '\t') || lead == 0x7F)) ||
                             (lead == 0xC2 && static_cast<unsigned char>(Utf8[i + 1]) < 0xA0);
        if (control) {
            ++typed.DroppedControls;
        } else {
            clean.append(Utf8.substr(i, length));
        }
        i += length;
    }
    std::string out;
    char* in = clean.data();
    size_t in_left = clean.size();
    bool held = true;
    while (held && in_left > 0) {
        char buffer[256];
        char* next = buffer;
        size_t room = sizeof buffer;
        // A character that the encoding lacks stops the conversion (EILSEQ).
        held = iconv(cd, &in, &in_left, &next, &room) != static_cast<size_t>(-1) || errno == E2BIG;
        out.append(buffer, static_cast<size_t>(next - buffer));
    }
    char buffer[16];
    char* next = buffer;
    size_t room = sizeof buffer;
    iconv(cd, nullptr, nullptr, &next, &room);  // the end of a shift sequence
    out.append(buffer, static_cast<size_t>(next - buffer));
    iconv_close(cd);
    typed.KeptUtf8 = !held;
    typed.Bytes = held ? std::move(out) : typed.Text;
    return typed;
}

std::string SungWordsIn(std::string_view Utf8, const std::string& Encoding, bool& KeptUtf8) {
    if (Encoding.empty()) return std::string(Utf8);
    std::string bytes;
    for (size_t start = 0;;) {
        const size_t stop = std::min(Utf8.find_first_of("\r\n", start), Utf8.size());
        if (stop > start) {
            const TypedBytes typed = TypedText(Utf8.substr(start, stop - start), Encoding);
            KeptUtf8 = KeptUtf8 || typed.KeptUtf8;
            bytes += typed.Bytes;
        }
        if (stop == Utf8.size()) return bytes;
        bytes += Utf8[stop];
        start = stop + 1;
    }
}

bool KeepsAscii(const std::string& Encoding) {
    static constexpr std::string_view kAscii =
        " !\"#$%&'()*+,-./0123456789:;<=>?@ABCXYZ[\\]^_`abcxyz{|}~\r\n";
    iconv_t cd = iconv_open(Encoding.c_str(), "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    char out[4 * kAscii.size() + 16];
    char* in = const_cast<char*>(kAscii.data());  // iconv does not write its input
    size_t in_left = kAscii.size();
    char* next = out;
    size_t room = sizeof out;
    const size_t result = iconv(cd, &in, &in_left, &next, &room);
    iconv(cd, nullptr, nullptr, &next, &room);  // the end of a shift sequence
    iconv_close(cd);
    return result != static_cast<size_t>(-1) &&
           std::string_view(out, static_cast<size_t>(next - out)) == kAscii;
}

std::vector<std::string> SungWordsIn(const std::vector<std::string>& Utf8Words,
                                     const std::string& Encoding, bool& KeptUtf8) {
    std::vector<std::string> bytes;
    bytes.reserve(Utf8Words.size());
    bool kept = false;
    for (const std::string& words : Utf8Words) {
        bytes.push_back(SungWordsIn(words, Encoding, kept));
        if (kept) {
            KeptUtf8 = true;
            return Utf8Words;
        }
    }
    return bytes;
}

}  // namespace verselane
