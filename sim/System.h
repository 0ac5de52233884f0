#pragma once
// The simulator's few calls into the system, the same on every system: an
// open file of the world, the file and folder operations around it, the
// environment, and the note to a running loader that devices changed.
// sim/linux/System.cpp and sim/windows/System.cpp implement them; paths are
// UTF-8.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace zvsim {

class TFile {
public:
    enum class TOpen {
        Read,
        ReadWrite,        // an existing file
        ReadWriteCreate,  // created when missing
        Truncate,         // for writing, created or emptied
        Append,           // for appending only, created when missing
    };
    // Empty on failure; LastSystemError() then says why.
    static TFile Open(const std::string& path, TOpen how);

    TFile() = default;
    TFile(TFile&& other) noexcept : handle(std::exchange(other.handle, kNone)) {}
    TFile& operator=(TFile&& other) noexcept {
        if (this != &other) {
            Reset();
            handle = std::exchange(other.handle, kNone);
        }
        return *this;
    }
    TFile(const TFile&) = delete;
    TFile& operator=(const TFile&) = delete;
    ~TFile() { Reset(); }

    explicit operator bool() const { return handle != kNone; }
    void Reset();

    // All of it at `offset`, or false.
    bool WriteAt(const void* data, size_t size, uint64_t offset) const;
    // In one write, which the system places whole at the end of the file.
    bool Append(std::string_view text) const;
    // Bytes read, 0 at the end, -1 on an error.
    int64_t Read(void* buffer, size_t size) const;
    bool Resize(uint64_t size) const;
    // An exclusive lock of the whole file, waited for; closing releases it.
    bool Lock() const;
    // Sets the file's write time to now with `fraction` (below 10^7) as its
    // sub-second part in 100 ns units, so that two versions written within
    // one tick of the clock still differ.
    bool StampWriteTime(uint64_t fraction) const;

private:
    static constexpr intptr_t kNone = -1;
    explicit TFile(intptr_t handle) : handle(handle) {}
    intptr_t handle = kNone;  // a descriptor; a HANDLE
};

// The last failed call's reason, and whether it was that a file is missing.
std::string LastSystemError();
bool LastErrorWasMissingFile();

// Renames `from` over `to`, replacing it whole.
bool RenameOver(const std::string& from, const std::string& to);
// Makes the folder; true when it exists afterwards.
bool MakeFolder(const std::string& path);

// Cheap identity of a file's current version; size -1 when it is missing.
struct TFileStamp {
    uint64_t id = 0;
    int64_t size = -1;
    int64_t writeTime = 0;  // in the system's own units
    bool operator==(const TFileStamp&) const = default;
};
TFileStamp StampOf(const std::string& path);

// The folder for scratch files ("/tmp"), and the user's name or number for
// what each user keeps apart.
std::string TemporaryFolder();
std::string UserTag();
int ProcessId();

// Sets a variable of this process's environment; an empty value removes it.
void SetEnvironment(const std::string& name, const std::string& value);

// Standard output and error as bytes: the tool prints a flash image and
// "\n" line ends, on Windows too.
void UseBinaryStandardOutput();

// A shared library loaded by path, and its entry points by name; null when
// either is missing. For the programs that drive the simulator's libraries.
void* OpenLibraryFile(const std::string& path);
void* LibrarySymbol(void* library, const char* name);
// The simulator's libraries' file names: libftd2xx.so and libzvusb.so, or
// ftd2xx.dll and ZVUSB.dll.
extern const char* const FTDI_LIBRARY_FILE_NAME;
extern const char* const OM_LIBRARY_FILE_NAME;

// Posts `line` to a running loader's window endpoint; nobody listening is
// not an error.
void PostToLoaderWindow(const std::string& line);

// The loader finds its driver libraries by bare file name: puts `folder`
// first where this process (restarted if it must be, with `argv`) and its
// children look for them.
void UseLibraryFolder(const std::string& folder, char** argv);

}  // namespace zvsim
