// One offscreen QApplication for the whole suite, made before the first test
// and kept to the end, as the loader keeps its own.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <filesystem>
#include <memory>
#include <string>

#include "shell/Main.h"

namespace {

class TQtEnvironment : public testing::Environment {
public:
    void SetUp() override {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        // A runtime folder of the suite's own, never the user's.
        runtime_ = std::filesystem::temp_directory_path() / ("zv-shell-runtime-" + std::to_string(getpid()));
        std::filesystem::create_directories(runtime_);
        std::filesystem::permissions(runtime_, std::filesystem::perms::owner_all);
        setenv("XDG_RUNTIME_DIR", runtime_.c_str(), 1);
        application_ = std::make_unique<QApplication>(argc_, argv_);
        zv::RegisterWindowFonts();
    }
    void TearDown() override {
        application_.reset();
        std::error_code ignored;
        std::filesystem::remove_all(runtime_, ignored);
    }

private:
    int argc_ = 1;
    char name_[12] = "shell_tests";
    char* argv_[2] = {name_, nullptr};
    std::filesystem::path runtime_;
    std::unique_ptr<QApplication> application_;
};

[[maybe_unused]] testing::Environment* const environment = testing::AddGlobalTestEnvironment(new TQtEnvironment);

}  // namespace
