#include "flashing/Compatibility.h"

namespace zv {

bool IsImageCompatible(const TFirmwareVersion& image, const TDevEntry& device) {
    const std::string& deviceType = device.firmwareVersion.name;
    const unsigned bootloader = device.bootloaderVersion.number;
    const bool zvomOrLead = deviceType == "ZVOM" || deviceType == "LEAD";

    // Images numbered 900 and above need a bootloader of 1.04 or later, older
    // images an older bootloader, whatever the image's type.
    if (zvomOrLead && bootloader < 104 && image.number >= 900) return false;
    if (zvomOrLead && bootloader >= 104 && image.number < 900) return false;
    if (deviceType == image.name) return true;
    if (deviceType == "ZVOM" && image.name == "LEAD") return true;
    if (deviceType == "LEAD" && image.name == "ZVOM") return true;
    if (deviceType.empty() || deviceType == "unk") return true;
    if (deviceType == "WIFI" && image.name == "ZVWF" && image.number >= 304) return true;
    return false;
}

}  // namespace zv
