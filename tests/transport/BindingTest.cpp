// Runs once per library set-up (see CMakeLists.txt); ZV_EXPECT_FTDI and
// ZV_EXPECT_OM say which libraries the search path should give.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "transport/Channel.h"
#include "transport/DriverLibraries.h"

namespace zv {
namespace {

bool Expected(const char* name) {
    const char* value = std::getenv(name);
    return value && std::string(value) == "1";
}

class Binding : public testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("ZV_EXPECT_FTDI") || !std::getenv("ZV_EXPECT_OM"))
            GTEST_SKIP() << "run through ctest, which sets the library path and the expectations";
    }
};

TEST_F(Binding, BindsWhatThePathOffersAndRetriesOnlyFailures) {
    std::string omName;
    const TBindingResult first = BindDriverLibraries(omName);
    EXPECT_EQ(first.ftdiBound, Expected("ZV_EXPECT_FTDI"));
    EXPECT_EQ(first.omBound, Expected("ZV_EXPECT_OM"));
    EXPECT_EQ(omName, OM_LIBRARY_FILE);

    void* ftdi = FtdiLibrary.load();
    void* om = OmLibrary.load();
    if (first.ftdiBound) {
        EXPECT_NE(Ftdi.FT_ListDevices, nullptr);
        EXPECT_NE(Ftdi.FT_Rescan, nullptr);
    }
    if (first.omBound) {
        EXPECT_NE(Om.OM_SetTimeouts, nullptr);
    }

    omName.clear();
    const TBindingResult second = BindDriverLibraries(omName);
    EXPECT_EQ(second.ftdiBound, first.ftdiBound);
    EXPECT_EQ(second.omBound, first.omBound);
    // A bound library is never loaded again; a missing one is tried again.
    EXPECT_EQ(FtdiLibrary.load(), ftdi);
    EXPECT_EQ(OmLibrary.load(), om);
    EXPECT_EQ(omName, first.omBound ? "" : OM_LIBRARY_FILE);
}

TEST_F(Binding, ChannelOfAnUnboundLibraryDoesNothing) {
    std::string omName;
    const TBindingResult bound = BindDriverLibraries(omName);
    std::vector<int32_t> unbound;
    if (!bound.ftdiBound) unbound.push_back(TRANSPORT_FTDI);
    if (!bound.omBound) unbound.push_back(TRANSPORT_OM);
    if (unbound.empty()) GTEST_SKIP() << "both libraries are bound in this set-up";
    for (const int32_t transport : unbound) {
        TDevEntry entry("5500250", 0, transport);
        EXPECT_FALSE(ChannelOpen(entry));
        const uint8_t data[3] = {1, 2, 3};
        EXPECT_FALSE(ChannelWrite(entry, data, 3));
        EXPECT_TRUE(ChannelWrite(entry, data, 0));
        uint8_t buffer[4] = {9, 9, 9, 9};
        EXPECT_EQ(ChannelRead(entry, buffer, 4, 10), 0u);
        EXPECT_EQ(buffer[0], 9);  // untouched
        // Closing through an unbound library leaves the field as it is.
        entry.ftHandle = reinterpret_cast<void*>(0x1234);
        entry.omHandle = 0x1234;
        ChannelClose(entry);
        if (transport == TRANSPORT_FTDI) {
            EXPECT_EQ(entry.ftHandle, reinterpret_cast<void*>(0x1234));
        } else {
            EXPECT_EQ(entry.omHandle, 0x1234u);
        }
        entry.ftHandle = nullptr;
        entry.omHandle = 0;
    }
}

}  // namespace
}  // namespace zv
