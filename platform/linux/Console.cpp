#include "platform/Console.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <csignal>

namespace zv {

void PrepareConsole() { std::signal(SIGPIPE, SIG_IGN); }

bool IsTerminal(std::FILE* stream) { return ::isatty(::fileno(stream)); }

int TerminalColumns(std::FILE* stream) {
    winsize size{};
    if (::ioctl(::fileno(stream), TIOCGWINSZ, &size) != 0) return 0;
    return size.ws_col;
}

std::vector<std::string> ProgramArguments(int argc, char** argv) { return {argv, argv + argc}; }

}  // namespace zv
