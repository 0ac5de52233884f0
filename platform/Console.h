#pragma once
// The terminal or console a command-line program writes to.

#include <cstdio>
#include <string>
#include <vector>

namespace zv {

// Makes the console take UTF-8 and terminal control sequences (Windows) and
// keeps a reader that goes away (| head) from ending the program half way
// through a write (Linux). Call once at start.
void PrepareConsole();

// Whether `stream` is a terminal or console, not a file or a pipe.
bool IsTerminal(std::FILE* stream);

// The width of the terminal that `stream` writes to; 0 when it is none.
int TerminalColumns(std::FILE* stream);

// The program's arguments as UTF-8, whatever the system's code page.
std::vector<std::string> ProgramArguments(int argc, char** argv);

}  // namespace zv
