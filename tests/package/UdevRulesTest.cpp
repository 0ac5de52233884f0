// The udev rules as udev reads them: udevadm verify where the installed udev
// has it (systemd 253 and later), and always a check of the rule grammar.

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "support/Process.h"

namespace zv {
namespace {

struct TRuleKey {
    std::string key, attribute, op, value;
};

// One rule line as comma-separated KEY[{attribute}]OP"value" pairs; an error
// text when it is not one.
std::string ParseRule(const std::string& line, std::vector<TRuleKey>& keys) {
    static const std::regex pair(R"(\s*([A-Z_]+)(\{([^}]+)\})?\s*(==|!=|\+=|-=|:=|=)\s*\"([^\"]*)\"\s*(,|$))");
    auto at = line.cbegin();
    for (std::smatch m; at != line.cend(); at = m[0].second) {
        if (!std::regex_search(at, line.cend(), m, pair, std::regex_constants::match_continuous))
            return "no KEY OP \"value\" at \"" + std::string(at, line.cend()) + "\"";
        keys.push_back({m[1], m[3], m[4], m[5]});
        if (m[6].length() == 0) break;
    }
    return {};
}

TEST(UdevRules, ParseAsUdevReadsThem) {
    if (testing_support::RunProgram({"udevadm", "verify", "--help"}).code == 0) {
        EXPECT_EQ(testing_support::RunProgram({"udevadm", "verify", ZV_UDEV_RULES}).code, 0);
    }

    static const std::set<std::string> matches = {"ACTION", "SUBSYSTEM", "DRIVER",  "ATTR", "ATTRS",
                                                  "ENV",    "KERNEL",    "DEVPATH", "TAG"};
    static const std::set<std::string> assignments = {"TAG", "RUN", "ENV", "GOTO", "MODE", "GROUP"};
    std::ifstream in(ZV_UDEV_RULES);
    ASSERT_TRUE(in) << ZV_UDEV_RULES;
    std::set<std::string> labels, gotos;
    int uaccessRules = 0, unbindRules = 0, makerRules = 0;
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        if (line.find_first_not_of(" \t") == std::string::npos || line[line.find_first_not_of(" \t")] == '#') continue;
        std::vector<TRuleKey> keys;
        const std::string error = ParseRule(line, keys);
        ASSERT_EQ(error, "") << "line " << number;
        bool assigns = false;
        for (const TRuleKey& k : keys) {
            const bool match = k.op == "==" || k.op == "!=";
            if (k.key == "LABEL") {
                EXPECT_EQ(k.op, "=") << "line " << number;
                labels.insert(k.value);
                continue;
            }
            EXPECT_TRUE(match ? matches.count(k.key) : assignments.count(k.key))
                << "line " << number << ": " << k.key << k.op;
            EXPECT_EQ(k.attribute.empty(), k.key != "ATTR" && k.key != "ATTRS" && k.key != "ENV")
                << "line " << number << ": " << k.key;
            if (k.key == "GOTO") gotos.insert(k.value);
            assigns |= !match;
        }
        EXPECT_TRUE(assigns || keys.front().key == "LABEL") << "line " << number << " only matches";
        const bool usbDevice = line.find("ENV{DEVTYPE}==\"usb_device\"") != std::string::npos;
        if (usbDevice && line.find("TAG+=\"uaccess\"") != std::string::npos) ++uaccessRules;
        if (line.find("ATTR{idProduct}") != std::string::npos) ++makerRules;
        if (line.find("ftdi_sio/unbind") != std::string::npos) {
            ++unbindRules;
            EXPECT_NE(line.find("ATTRS{product}==\"Zelvia\""), std::string::npos)
                << "another FTDI device would lose its driver";
        }
    }
    EXPECT_EQ(gotos, labels) << "every jump has its label";
    EXPECT_EQ(uaccessRules, 2) << "FTDI units and the maker's";
    EXPECT_EQ(makerRules, 1) << "the maker's ids are one line to change";
    EXPECT_EQ(unbindRules, 1);
}

}  // namespace
}  // namespace zv
