// The user's folders as the XDG base directory rules give them.

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "platform/Runtime.h"

namespace zv {
namespace {

// Sets a variable for one test and puts back what was there.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        value ? setenv(name, value, 1) : unsetenv(name);
    }
    ~ScopedVariable() { old_ ? setenv(name_, old_->c_str(), 1) : unsetenv(name_); }

private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST(UserFolders, XdgVariablesElseTheHomeFolder) {
    ScopedVariable home("HOME", "/home/tech");
    {
        ScopedVariable config("XDG_CONFIG_HOME", "/srv/config");
        ScopedVariable state("XDG_STATE_HOME", "/srv/state");
        EXPECT_EQ(UserConfigFolder(), "/srv/config");
        EXPECT_EQ(UserStateFolder(), "/srv/state");
    }
    {
        ScopedVariable config("XDG_CONFIG_HOME", nullptr);
        ScopedVariable state("XDG_STATE_HOME", "");
        EXPECT_EQ(UserConfigFolder(), "/home/tech/.config");
        EXPECT_EQ(UserStateFolder(), "/home/tech/.local/state");
    }
    {
        // A relative value is invalid by the rules and does not count.
        ScopedVariable config("XDG_CONFIG_HOME", "relative/config");
        EXPECT_EQ(UserConfigFolder(), "/home/tech/.config");
    }
}

}  // namespace
}  // namespace zv
