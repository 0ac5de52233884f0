#include "platform/Text.h"

#include <windows.h>

#include <array>
#include <map>

namespace zv {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// The upper half of Windows-1251 as the system's code page has it. A byte the
// code page leaves undefined (0x98) comes back as the C1 control of the same
// value, or not at all: it gets the replacement character. (0xA0 and others
// are the Latin-1 characters of their own value, and defined.)
struct TCodePage {
    std::array<char32_t, 128> upper{};
    std::map<char32_t, char> bytes;

    TCodePage() {
        for (int i = 0; i < 128; ++i) {
            const char byte = static_cast<char>(0x80 + i);
            wchar_t wide = 0;
            const int n = MultiByteToWideChar(1251, MB_ERR_INVALID_CHARS, &byte, 1, &wide, 1);
            const bool control = i < 0x20 && wide == static_cast<wchar_t>(0x80 + i);
            const bool defined = n == 1 && !control;
            upper[static_cast<size_t>(i)] = defined ? static_cast<char32_t>(wide) : kReplacement;
            if (defined) bytes.emplace(static_cast<char32_t>(wide), byte);
        }
    }
};

const TCodePage& CodePage() {
    static const TCodePage page;
    return page;
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// The next character of UTF-8 text, or kReplacement for an invalid or cut
// sequence, which is skipped whole: its lead byte and the continuation bytes
// that follow it.
char32_t NextCharacter(std::string_view text, size_t& pos) {
    const auto lead = static_cast<unsigned char>(text[pos++]);
    if (lead < 0x80) return lead;
    const size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    if (length == 1) return kReplacement;
    char32_t c = lead & (0x3F >> (length - 1));
    size_t taken = 1;
    for (; taken < length && pos < text.size(); ++taken, ++pos) {
        const auto next = static_cast<unsigned char>(text[pos]);
        if ((next & 0xC0) != 0x80) break;
        c = (c << 6) | (next & 0x3F);
    }
    return taken == length ? c : kReplacement;
}

bool IsAscii(std::string_view text) {
    for (unsigned char c : text)
        if (c >= 0x80) return false;
    return true;
}

}  // namespace

std::string Cp1251ToUtf8(std::string_view cp1251) {
    if (IsAscii(cp1251)) return std::string(cp1251);
    const TCodePage& page = CodePage();
    std::string out;
    out.reserve(cp1251.size() * 2);
    for (const char b : cp1251) {
        const auto byte = static_cast<unsigned char>(b);
        AppendUtf8(out, byte < 0x80 ? byte : page.upper[byte - 0x80]);
    }
    return out;
}

std::string Utf8ToCp1251(std::string_view utf8) {
    if (IsAscii(utf8)) return std::string(utf8);
    const TCodePage& page = CodePage();
    std::string out;
    out.reserve(utf8.size());
    for (size_t pos = 0; pos < utf8.size();) {
        const char32_t c = NextCharacter(utf8, pos);
        if (c < 0x80) {
            out += static_cast<char>(c);
            continue;
        }
        const auto found = page.bytes.find(c);
        out += found == page.bytes.end() ? '?' : found->second;
    }
    return out;
}

}  // namespace zv
