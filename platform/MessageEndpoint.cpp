#include "platform/MessageEndpoint.h"

#include <cinttypes>
#include <cstdio>

namespace zv {

bool ParseWindowMessage(const std::string& line, TWindowMessage& message) {
    // 64 bits wide whatever long is, so that "-5" reads as far too large.
    unsigned long long msg = 0;
    long long wParam = 0, lParam = 0;
    int consumed = 0;
    if (std::sscanf(line.c_str(), "%llu %lld %lld%n", &msg, &wParam, &lParam, &consumed) != 3) return false;
    for (size_t i = static_cast<size_t>(consumed); i < line.size(); ++i)
        if (line[i] != ' ' && line[i] != '\r' && line[i] != '\t') return false;
    if (msg > UINT32_MAX) return false;
    message = {static_cast<uint32_t>(msg), wParam, lParam};
    return true;
}

void HandWindowMessages(const std::string& text, const std::function<void(const TWindowMessage&)>& handle) {
    // Only complete lines count: a client cut short loses its last one.
    size_t begin = 0;
    for (size_t end; (end = text.find('\n', begin)) != std::string::npos; begin = end + 1) {
        TWindowMessage message;
        if (ParseWindowMessage(text.substr(begin, end - begin), message)) handle(message);
    }
}

std::string WindowMessagesText(const std::vector<TWindowMessage>& messages) {
    std::string text;
    for (const TWindowMessage& m : messages)
        text += std::to_string(m.msg) + ' ' + std::to_string(m.wParam) + ' ' + std::to_string(m.lParam) + '\n';
    return text;
}

}  // namespace zv
