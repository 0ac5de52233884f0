#include "platform/Text.h"

namespace zv {

std::string LowerCaseText(std::string_view utf8) {
    // The capitals of Windows-1251 are ASCII, U+0400..U+042F and U+0490.
    std::string out(utf8);
    for (size_t i = 0; i < out.size(); ++i) {
        auto c = static_cast<unsigned char>(out[i]);
        if (c >= 'A' && c <= 'Z') {
            out[i] = static_cast<char>(c + 0x20);
        } else if (i + 1 < out.size()) {
            auto next = static_cast<unsigned char>(out[i + 1]);
            if (c == 0xD0 && next >= 0x80 && next <= 0x8F) {  // Ѐ..Џ -> ѐ..џ
                out[i] = static_cast<char>(0xD1);
                out[i + 1] = static_cast<char>(next + 0x10);
            } else if (c == 0xD0 && next >= 0x90 && next <= 0x9F) {  // А..П -> а..п
                out[i + 1] = static_cast<char>(next + 0x20);
            } else if (c == 0xD0 && next >= 0xA0 && next <= 0xAF) {  // Р..Я -> р..я
                out[i] = static_cast<char>(0xD1);
                out[i + 1] = static_cast<char>(next - 0x20);
            } else if (c == 0xD2 && next == 0x90) {  // Ґ -> ґ
                out[i + 1] = static_cast<char>(0x91);
            }
        }
    }
    return out;
}

}  // namespace zv
