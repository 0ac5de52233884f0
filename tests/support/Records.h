#pragma once
// A records file as a reader finds it: one whole JSON object per line, the
// last line ended too.

#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "support/Process.h"

namespace zv::testing_support {

// Every line parsed; a line that is no whole object fails the test and is
// left out.
inline std::vector<nlohmann::json> ReadRecords(const std::filesystem::path& file) {
    std::vector<nlohmann::json> records;
    const std::string text = ReadText(file);
    EXPECT_TRUE(text.empty() || text.back() == '\n') << "half a record in " << file;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        nlohmann::json record = nlohmann::json::parse(line, nullptr, false);
        EXPECT_TRUE(record.is_object()) << line;
        if (record.is_object()) records.push_back(std::move(record));
    }
    return records;
}

}  // namespace zv::testing_support
