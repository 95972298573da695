#include "encoding/terminal_text.h"

namespace verselane {

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
