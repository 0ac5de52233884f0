#pragma once
// The loader's command line: the word externfirmware, or the path of an
// existing ".eraw" file, switches file mode on; everything else is ignored.

#include <string>
#include <vector>

namespace zv {

struct TCommandLine {
    bool externFirmware = false;  // file mode
    std::string firmwareFile;     // for the file box; the last .eraw file named
};

// `arguments` excludes the program name.
TCommandLine ApplyCommandLine(const std::vector<std::string>& arguments);

}  // namespace zv
