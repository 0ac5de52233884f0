#pragma once
// A scratch folder per test, removed afterwards.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/Process.h"

namespace zv {

class TempDirTest : public testing::Test {
protected:
    void SetUp() override {
        const auto* info = testing::UnitTest::GetInstance()->current_test_info();
        dir = std::filesystem::temp_directory_path() /
              ("zv-" + std::string(info->test_suite_name()) + "-" + info->name() + "-" +
               std::to_string(testing_support::CurrentProcessId()));
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::permissions(dir, std::filesystem::perms::owner_all, ignored);
        std::filesystem::remove_all(dir, ignored);
    }
    std::filesystem::path dir;
};

}  // namespace zv
