#include <gtest/gtest.h>

#include "devices/DevEntry.h"

namespace zv {
namespace {

TEST(DevEntry, SerialStringToNumber) {
    EXPECT_EQ(TDevEntry("5500250", -1, TRANSPORT_FTDI).serialNumber, 5500250);
    EXPECT_EQ(TDevEntry("0", -1, TRANSPORT_FTDI).serialNumber, 0);
    EXPECT_EQ(TDevEntry("-42", -1, TRANSPORT_FTDI).serialNumber, -42);
    EXPECT_EQ(TDevEntry("+42", -1, TRANSPORT_FTDI).serialNumber, 42);
    EXPECT_EQ(TDevEntry("007", -1, TRANSPORT_FTDI).serialNumber, 7);
    EXPECT_EQ(TDevEntry("2147483647", -1, TRANSPORT_FTDI).serialNumber, 2147483647);
    EXPECT_EQ(TDevEntry("-2147483648", -1, TRANSPORT_FTDI).serialNumber, INT32_MIN);
    for (const char* bad :
         {"", "-", "+", "FT12AB", "12 ", " 12", "1.5", "2147483648", "-2147483649", "99999999999999999999", "0x10"})
        EXPECT_EQ(TDevEntry(bad, -1, TRANSPORT_FTDI).serialNumber, -1) << '"' << bad << '"';
}

TEST(DevEntry, DestroysItsPanelFirst) {
    struct RecordingPanel : TDevicePanel {
        explicit RecordingPanel(const TDevEntry& e, int32_t& seen) : entry(e), seenSerial(seen) {}
        ~RecordingPanel() override { seenSerial = entry.serialNumber; }
        void SetStatus(const std::string&, LogLevel) override {}
        void SetWriteEnabled(bool) override {}
        void SetProgress(int) override {}
        void SetWriteHandler(std::function<void()>) override {}
        const TDevEntry& entry;
        int32_t& seenSerial;
    };
    int32_t seen = 0;
    {
        TDevEntry entry("77", -1, TRANSPORT_FTDI);
        entry.panel = std::make_unique<RecordingPanel>(entry, seen);
    }
    EXPECT_EQ(seen, 77);
}

}  // namespace
}  // namespace zv
