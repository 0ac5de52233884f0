// usbfwflash: the loader's core driven from a terminal, for production lines,
// scripts and machines without a display.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cli/Arguments.h"
#include "cli/Flasher.h"
#include "platform/Console.h"
#include "platform/Version.h"

int main(int argc, char** argv) {
    using namespace zv::cli;
    zv::PrepareConsole();
    std::vector<std::string> arguments = zv::ProgramArguments(argc, argv);
    const TParseResult parsed = ParseArguments(std::vector<std::string>(arguments.begin() + 1, arguments.end()));
    if (!parsed.Ok()) {
        std::fprintf(stderr, "usbfwflash: %s\n\n%s", parsed.error.c_str(), UsageText());
        return 2;
    }
    if (parsed.options.command == TCommand::Help) {
        std::fputs(UsageText(), stdout);
        return 0;
    }
    if (parsed.options.command == TCommand::Version) {
        std::printf("usbfwflash %s\n", zv::LoaderVersion());
        return 0;
    }
    const char* term = std::getenv("TERM");
    const bool terminal = zv::IsTerminal(stdout) && !(term && std::strcmp(term, "dumb") == 0);
    try {
        TFlasher flasher(parsed.options, stdout, stderr, terminal);
        return flasher.Run();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "usbfwflash: %s\n", error.what());
        return 1;
    }
}
