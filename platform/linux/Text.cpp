#include "platform/Text.h"

#include <iconv.h>

#include <cerrno>
#include <stdexcept>

namespace zv {
namespace {

// One conversion with iconv; an unconvertible or invalid sequence is replaced
// and skipped instead of ending the conversion.
std::string Convert(std::string_view in, const char* to, const char* from, std::string_view replacement,
                    size_t badInputStep) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv: no CP1251 conversion");
    std::string out;
    out.reserve(in.size() * 2 + 4);
    char buffer[1024];
    auto* inPtr = const_cast<char*>(in.data());
    size_t inLeft = in.size();
    while (inLeft > 0) {
        char* outPtr = buffer;
        size_t outLeft = sizeof buffer;
        size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        out.append(buffer, outPtr);
        if (rc != static_cast<size_t>(-1)) continue;
        if (errno == E2BIG) continue;
        // EILSEQ or EINVAL (a truncated multi-byte sequence at the end).
        out.append(replacement);
        size_t step = badInputStep;
        if (badInputStep == 0) {  // UTF-8 input: skip the whole bad character
            auto lead = static_cast<unsigned char>(*inPtr);
            step = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
            for (size_t i = 1; i < step && i < inLeft; ++i)
                if ((static_cast<unsigned char>(inPtr[i]) & 0xC0) != 0x80) {
                    step = i;
                    break;
                }
        }
        if (step > inLeft) step = inLeft;
        inPtr += step;
        inLeft -= step;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    iconv_close(cd);
    return out;
}

bool IsAscii(std::string_view text) {
    for (unsigned char c : text)
        if (c >= 0x80) return false;
    return true;
}

}  // namespace

std::string Cp1251ToUtf8(std::string_view cp1251) {
    if (IsAscii(cp1251)) return std::string(cp1251);
    return Convert(cp1251, "UTF-8", "CP1251", "\xEF\xBF\xBD", 1);
}

std::string Utf8ToCp1251(std::string_view utf8) {
    if (IsAscii(utf8)) return std::string(utf8);
    return Convert(utf8, "CP1251", "UTF-8", "?", 0);
}

}  // namespace zv
