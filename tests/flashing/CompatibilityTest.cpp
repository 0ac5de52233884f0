#include <gtest/gtest.h>

#include "flashing/Compatibility.h"

namespace zv {
namespace {

struct Case {
    const char* deviceType;
    uint16_t bootloader;
    const char* imageType;
    uint16_t imageNumber;
    bool compatible;
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << "device " << c.deviceType << " bootloader " << c.bootloader << ", image " << c.imageType << " "
        << c.imageNumber;
}

class Compatibility : public testing::TestWithParam<Case> {};

TEST_P(Compatibility, Decides) {
    const Case& c = GetParam();
    TDevEntry device("1", -1, TRANSPORT_FTDI);
    device.firmwareVersion.name = c.deviceType;
    device.bootloaderVersion.number = c.bootloader;
    TFirmwareVersion image;
    image.name = c.imageType;
    image.number = c.imageNumber;
    EXPECT_EQ(IsImageCompatible(image, device), c.compatible);
}

INSTANTIATE_TEST_SUITE_P(Rules, Compatibility,
                         testing::Values(Case{"ZVOM", 103, "ZVOM", 899, true}, Case{"ZVOM", 103, "ZVOM", 900, false},
                                         Case{"LEAD", 104, "ZVOM", 905, true}, Case{"LEAD", 104, "ZVOM", 899, false},
                                         Case{"ZVOM", 104, "WIFI", 950, false}, Case{"ZVOM", 103, "LEAD", 302, true},
                                         Case{"LEAD", 103, "LEAD", 950, false},  // generation check ignores the type
                                         Case{"WIFI", 0, "ZVWF", 303, false}, Case{"WIFI", 0, "ZVWF", 304, true},
                                         Case{"WIFI", 0, "WIFI", 1, true}, Case{"WIFI", 0, "WIFI", 9999, true},
                                         Case{"", 0, "ZVMB", 302, true}, Case{"", 103, "ZVOM", 950, true},
                                         Case{"unk", 0, "ZVMB", 302, true}, Case{"unk", 0, "", 0, true},
                                         Case{"", 0, "", 0, true},
                                         // Case matters: "zvom" is not a ZVOM device.
                                         Case{"zvom", 103, "ZVOM", 950, false}, Case{"zvom", 103, "zvom", 950, true},
                                         Case{"zvom", 103, "LEAD", 302, false}, Case{"ZVMB", 0, "ZVMB", 302, true},
                                         Case{"ZVOM", 0, "ZVMB", 302, false}));

}  // namespace
}  // namespace zv
