#include "core/IniFile.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>

#include "platform/Files.h"

namespace zv {
namespace {

struct TLine {
    std::string text;    // without its line end
    std::string ending;  // "\r\n", "\n" or "" for a last line without one
};

std::vector<TLine> ReadLines(const std::filesystem::path& path) {
    std::vector<TLine> lines;
    // What cannot be read (a folder in the file's place, say) reads as no file.
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) return lines;
    std::ifstream in(path, std::ios::binary);
    if (!in) return lines;
    std::string content;
    try {
        content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    } catch (const std::ios_base::failure&) {
        return lines;
    }
    size_t pos = 0;
    while (pos < content.size()) {
        const size_t newline = content.find('\n', pos);
        TLine line;
        if (newline == std::string::npos) {
            line.text = content.substr(pos);
            pos = content.size();
        } else {
            line.text = content.substr(pos, newline - pos);
            line.ending = "\n";
            pos = newline + 1;
        }
        if (!line.text.empty() && line.text.back() == '\r' && !line.ending.empty()) {
            line.text.pop_back();
            line.ending = "\r\n";
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

std::string_view Trim(std::string_view text) {
    const char* blanks = " \t";
    const size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

// The name of a "[section]" line.
std::optional<std::string_view> SectionName(std::string_view line) {
    line = Trim(line);
    if (line.size() < 2 || line.front() != '[') return std::nullopt;
    const size_t close = line.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    return Trim(line.substr(1, close - 1));
}

// Key and value of a "key=value" line; comments and other lines have none.
struct TKeyValue {
    std::string_view key, value;
};
std::optional<TKeyValue> KeyValue(std::string_view line) {
    const std::string_view trimmed = Trim(line);
    if (trimmed.empty() || trimmed.front() == ';' || trimmed.front() == '[') return std::nullopt;
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos) return std::nullopt;
    const std::string_view key = Trim(line.substr(0, equals));
    if (key.empty()) return std::nullopt;
    return TKeyValue{key, Trim(line.substr(equals + 1))};
}

// Calls `visit(index, key, value)` for every key line of `section`.
template <typename Visit>
void ForEachKey(const std::vector<TLine>& lines, std::string_view section, Visit visit) {
    bool inSection = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (auto name = SectionName(lines[i].text)) {
            if (inSection) return;  // only the first section of that name counts
            inSection = EqualNoCase(*name, section);
            continue;
        }
        if (!inSection) continue;
        if (auto kv = KeyValue(lines[i].text))
            if (!visit(i, kv->key, kv->value)) return;
    }
}

std::string CutValue(std::string_view value) {
    // A value in matching quotes comes back without them.
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    // Cut at 2047 characters, not bytes, so no UTF-8 sequence is split.
    size_t characters = 0, pos = 0;
    while (pos < value.size() && characters < TIniFile::MAX_VALUE_LENGTH) {
        ++pos;
        while (pos < value.size() && (static_cast<unsigned char>(value[pos]) & 0xC0) == 0x80) ++pos;
        ++characters;
    }
    return std::string(value.substr(0, pos));
}

bool WriteWhole(const std::filesystem::path& path, const std::string& content) {
    // A new file renamed over the old one: a crash never leaves half a
    // settings file. A folder we may not create files in still lets us
    // rewrite a file we may write.
    return WriteFileByRename(path, content) || WriteFileInPlace(path, content);
}

}  // namespace

std::string TIniFile::ReadString(std::string_view section, std::string_view key, std::string_view defaultValue) const {
    std::optional<std::string> found;
    ForEachKey(ReadLines(path_), section, [&](size_t, std::string_view k, std::string_view v) {
        if (!EqualNoCase(k, key)) return true;
        found = CutValue(v);
        return false;
    });
    return found ? *found : CutValue(defaultValue);
}

std::vector<std::string> TIniFile::ReadKeys(std::string_view section) const {
    std::vector<std::string> keys;
    ForEachKey(ReadLines(path_), section, [&](size_t, std::string_view k, std::string_view) {
        keys.emplace_back(k);
        return true;
    });
    return keys;
}

void TIniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) const {
    std::vector<TLine> lines = ReadLines(path_);
    const std::string ending = !lines.empty() && lines.front().ending == "\r\n" ? "\r\n" : "\n";
    const std::string keyLine = std::string(key) + "=" + std::string(value);

    std::optional<size_t> keyIndex, lastInSection, sectionIndex;
    bool inSection = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (auto name = SectionName(lines[i].text)) {
            inSection = !sectionIndex && EqualNoCase(*name, section);
            if (inSection) sectionIndex = lastInSection = i;
            continue;
        }
        if (!inSection) continue;
        if (auto kv = KeyValue(lines[i].text)) {
            lastInSection = i;
            if (!keyIndex && EqualNoCase(kv->key, key)) keyIndex = i;
        } else if (!Trim(lines[i].text).empty()) {
            lastInSection = i;
        }
    }

    if (keyIndex) {
        lines[*keyIndex].text = keyLine;
    } else if (lastInSection) {
        if (lines[*lastInSection].ending.empty()) lines[*lastInSection].ending = ending;
        lines.insert(lines.begin() + static_cast<long>(*lastInSection) + 1, TLine{keyLine, ending});
    } else {
        if (!lines.empty() && lines.back().ending.empty()) lines.back().ending = ending;
        lines.push_back({"[" + std::string(section) + "]", ending});
        lines.push_back({keyLine, ending});
    }

    std::string content;
    for (const TLine& line : lines) content += line.text + line.ending;
    if (!WriteWhole(path_, content)) throw TIniWriteError("Unable to write to " + path_.string());
}

}  // namespace zv
