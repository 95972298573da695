#include "encoding/text_encoding.h"

#include <iconv.h>
#include <uchardet.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <mutex>
#include <stdexcept>

namespace verselane {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD
constexpr const char* kFallback = "WINDOWS-1252";

iconv_t OpenToUtf8(const std::string& encoding) {
    return iconv_open("UTF-8", encoding.c_str());
}

bool KnownToIconv(const std::string& encoding) {
    iconv_t cd = OpenToUtf8(encoding);
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    iconv_close(cd);
    return true;
}

// What uchardet answers for a few accented words of a Western song is often
// some other Latin encoding (Mac Central European, ISO-8859-4, ...), so only
// its answers for scripts that a Latin reading would garble beyond use are
// taken: Japanese, Chinese, Korean, Cyrillic, Greek, Hebrew, Arabic, Thai and
// Vietnamese. Everything else is read as Windows-1252.
bool DistinctScript(std::string name) {
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    static const char* const kTrusted[] = {
        "SHIFT_JIS",    "EUC-JP",      "ISO-2022-JP",  "GB18030",      "GBK",
        "GB2312",       "HZ-GB-2312",  "BIG5",         "EUC-TW",       "EUC-KR",
        "UHC",          "ISO-2022-KR", "ISO-2022-CN",  "WINDOWS-1251", "KOI8-R",
        "ISO-8859-5",   "IBM855",      "IBM866",       "MAC-CYRILLIC", "X-MAC-CYRILLIC",
        "WINDOWS-1253", "ISO-8859-7",  "WINDOWS-1255", "ISO-8859-8",   "WINDOWS-1256",
        "ISO-8859-6",   "TIS-620",     "WINDOWS-874",  "ISO-8859-11",  "VISCII",
        "WINDOWS-1258",
    };
    for (const char* trusted : kTrusted) {
        if (name == trusted) return true;
    }
    return false;
}

bool HasHighBytes(std::string_view text) {
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) return true;
    }
    return false;
}

}  // namespace

const std::vector<std::string>& DisplayEncodings() {
    static const std::vector<std::string> kEncodings = {
        "UTF-8",        "WINDOWS-1252", "ISO-8859-1",   "ISO-8859-15",  "SHIFT_JIS",
        "EUC-JP",       "GBK",          "GB18030",      "BIG5",         "EUC-KR",
        "WINDOWS-1251", "KOI8-R",       "ISO-8859-5",   "WINDOWS-1250", "ISO-8859-2",
        "WINDOWS-1253", "ISO-8859-7",   "WINDOWS-1254", "WINDOWS-1255", "WINDOWS-1256",
        "WINDOWS-1257", "TIS-620",      "WINDOWS-1258", "CP437",
    };
    return kEncodings;
}

bool IsValidUtf8(std::string_view Bytes) {
    size_t i = 0;
    const size_t n = Bytes.size();
    while (i < n) {
        const unsigned char c = static_cast<unsigned char>(Bytes[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t len;
        uint32_t cp;
        if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + len > n) return false;
        for (size_t k = 1; k < len; ++k) {
            const unsigned char b = static_cast<unsigned char>(Bytes[i + k]);
            if ((b & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (b & 0x3F);
        }
        // Overlong forms, UTF-16 surrogates and values past U+10FFFF.
        if ((len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000) || cp > 0x10FFFF ||
            (cp >= 0xD800 && cp <= 0xDFFF)) {
            return false;
        }
        i += len;
    }
    return true;
}

std::vector<std::string_view> SongTexts(const MidiFile& Song) {
    std::vector<std::string_view> texts;
    const size_t slots = std::min(Song.Tracks.size(), Song.EventCount.size());
    for (size_t t = 0; t < slots; ++t) {
        const std::vector<MidiEvent>& stored = Song.Tracks[t].Stored();
        const size_t n =
            std::min(stored.size(), static_cast<size_t>(std::max(0, Song.EventCount[t])));
        for (size_t i = 0; i < n; ++i) {
            const MidiEvent& e = stored[i];
            if (e.Kind == kKindMeta && e.Channel >= 1 && e.Channel <= 7 && !e.Data.empty()) {
                texts.push_back(e.Data.view());
            }
        }
    }
    return texts;
}

std::string DetectEncoding(const std::vector<std::string_view>& Texts) {
    bool all_utf8 = true;
    std::string sample;
    for (std::string_view text : Texts) {
        if (!HasHighBytes(text)) continue;
        if (!IsValidUtf8(text)) all_utf8 = false;
        sample.append(text);
        sample.push_back('\n');
    }
    if (all_utf8) return "UTF-8";

    std::string detected;
    if (uchardet_t ud = uchardet_new()) {
        if (uchardet_handle_data(ud, sample.data(), sample.size()) == 0) {
            uchardet_data_end(ud);
            if (const char* name = uchardet_get_charset(ud)) detected = name;
        }
        uchardet_delete(ud);
    }
    if (!DistinctScript(detected) || !KnownToIconv(detected)) return kFallback;
    return detected;
}

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

TextDecoder SongDecoder(const MidiFile& Song, const std::string& Override) {
    if (!Override.empty()) return TextDecoder(Override);
    return TextDecoder(DetectEncoding(SongTexts(Song)));
}

std::string Printable(std::string_view Utf8) {
    std::string out;
    out.reserve(Utf8.size());
    for (size_t i = 0; i < Utf8.size(); ++i) {
        const char c = Utf8[i];
        const unsigned char u = static_cast<unsigned char>(c);
        if (c == '\r' || c == '\0') continue;
        if ((u < 0x20 && c != '\t' && c != '\n') || u == 0x7F) {
            out.push_back('?');
        } else if (u == 0xC2 && i + 1 < Utf8.size() &&
                   static_cast<unsigned char>(Utf8[i + 1]) < 0xA0) {
            out.push_back('?');  // C1 controls (U+0080 to U+009F), CSI among them
            ++i;
        } else {
            out.push_back(c);
        }
    }
    return out;
}

std::string PrintableName(std::string_view Utf8) {
    std::string out;
    out.reserve(Utf8.size());
    auto escape = [&](unsigned code) {
        static const char kHex[] = "0123456789ABCDEF";
        if (code == '\n') return out.append("\\n");
        if (code == '\r') return out.append("\\r");
        if (code == '\t') return out.append("\\t");
        return out.append("\\x").append(1, kHex[code >> 4]).append(1, kHex[code & 15]);
    };
    for (size_t i = 0; i < Utf8.size(); ++i) {
        const unsigned char u = static_cast<unsigned char>(Utf8[i]);
        if (u < 0x20 || u == 0x7F) {
            escape(u);
        } else if (u == 0xC2 && i + 1 < Utf8.size() &&
                   static_cast<unsigned char>(Utf8[i + 1]) < 0xA0) {
            escape(static_cast<unsigned char>(Utf8[++i]));  // C1 controls
        } else {
            out.push_back(static_cast<char>(u));
        }
    }
    return out;
}

}  // namespace verselane
