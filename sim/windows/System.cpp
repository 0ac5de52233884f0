#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "sim/System.h"

namespace zvsim {
namespace {

HANDLE Handle(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

std::wstring Wide(const std::string& utf8) {
    if (utf8.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

std::string Utf8(const std::wstring& wide) {
    if (wide.empty()) return {};
    const int n =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::wstring UserName() {
    wchar_t name[257] = {};
    DWORD size = 257;
    if (!GetUserNameW(name, &size) || size == 0) return L"user";
    return std::wstring(name, size - 1);
}

}  // namespace

TFile TFile::Open(const std::string& path, TOpen how) {
    DWORD access = GENERIC_READ, disposition = OPEN_EXISTING;
    switch (how) {
        case TOpen::Read: break;
        case TOpen::ReadWrite: access = GENERIC_READ | GENERIC_WRITE; break;
        case TOpen::ReadWriteCreate:
            access = GENERIC_READ | GENERIC_WRITE;
            disposition = OPEN_ALWAYS;
            break;
        case TOpen::Truncate:
            access = GENERIC_WRITE;
            disposition = CREATE_ALWAYS;
            break;
        case TOpen::Append:
            access = FILE_APPEND_DATA;
            disposition = OPEN_ALWAYS;
            break;
    }
    // Shared every way, as on Linux: the world's files are opened by several
    // processes at once, and renamed over while open.
    const HANDLE file = CreateFileW(Wide(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    return file == INVALID_HANDLE_VALUE ? TFile() : TFile(reinterpret_cast<intptr_t>(file));
}

void TFile::Reset() {
    if (handle != kNone) CloseHandle(Handle(handle));
    handle = kNone;
}

bool TFile::WriteAt(const void* data, size_t size, uint64_t offset) const {
    auto* bytes = static_cast<const uint8_t*>(data);
    while (size > 0) {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD n = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(size, 1u << 30));
        if (!WriteFile(Handle(handle), bytes, chunk, &n, &at) || n == 0) return false;
        bytes += n;
        size -= n;
        offset += n;
    }
    return true;
}

bool TFile::Append(std::string_view text) const {
    // Wine places each append at the end but lets two of them meet there: the
    // lock keeps the lines of several processes whole.
    OVERLAPPED whole{};
    const bool locked = LockFileEx(Handle(handle), LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole);
    DWORD n = 0;
    const bool wrote = WriteFile(Handle(handle), text.data(), static_cast<DWORD>(text.size()), &n, nullptr);
    if (locked) UnlockFileEx(Handle(handle), 0, MAXDWORD, MAXDWORD, &whole);
    return wrote && n == text.size();
}

int64_t TFile::Read(void* buffer, size_t size) const {
    DWORD n = 0;
    if (!ReadFile(Handle(handle), buffer, static_cast<DWORD>(std::min<size_t>(size, 1u << 30)), &n, nullptr)) return -1;
    return n;
}

bool TFile::Resize(uint64_t size) const {
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
    return SetFileInformationByHandle(Handle(handle), FileEndOfFileInfo, &end, sizeof end);
}

bool TFile::Lock() const {
    OVERLAPPED whole{};
    return LockFileEx(Handle(handle), LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole);
}

bool TFile::StampWriteTime(uint64_t fraction) const {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER time{};
    time.LowPart = now.dwLowDateTime;
    time.HighPart = now.dwHighDateTime;
    time.QuadPart = time.QuadPart / 10'000'000 * 10'000'000 + fraction % 10'000'000;
    now.dwLowDateTime = time.LowPart;
    now.dwHighDateTime = time.HighPart;
    return SetFileTime(Handle(handle), nullptr, nullptr, &now);
}

std::string LastSystemError() {
    const DWORD code = GetLastError();
    wchar_t* text = nullptr;
    const DWORD n =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = n && text ? std::wstring(text, n) : L"error " + std::to_wstring(code);
    if (text) LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' '))
        message.pop_back();
    SetLastError(code);
    return Utf8(message);
}

bool LastErrorWasMissingFile() {
    const DWORD code = GetLastError();
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
}

// A reader that opened the file without letting it be deleted (another
// program, a virus scanner) holds it only briefly: a few more tries.
bool RenameOver(const std::string& from, const std::string& to) {
    for (int attempt = 0;; ++attempt) {
        if (MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
        if (GetLastError() != ERROR_ACCESS_DENIED || attempt == 50) return false;
        Sleep(2);
    }
}

bool MakeFolder(const std::string& path) {
    return CreateDirectoryW(Wide(path).c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

TFileStamp StampOf(const std::string& path) {
    // Read without opening the file: a file that some handle holds open
    // cannot be replaced, and every device's thread asks for the stamp on
    // every call. The write time carries the generation, so the file index
    // is not needed to tell a replacement.
    WIN32_FILE_ATTRIBUTE_DATA info{};
    if (!GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &info)) return {};
    return {0, static_cast<int64_t>((static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow),
            static_cast<int64_t>((static_cast<uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) |
                                 info.ftLastWriteTime.dwLowDateTime)};
}

std::string TemporaryFolder() {
    wchar_t temp[MAX_PATH + 1] = {};
    std::wstring folder(temp, GetTempPathW(MAX_PATH + 1, temp));
    while (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
    return Utf8(folder);
}

std::string UserTag() { return Utf8(UserName()); }

int ProcessId() { return static_cast<int>(GetCurrentProcessId()); }

void SetEnvironment(const std::string& name, const std::string& value) {
    // The C runtime's copy, which getenv reads, and the system's, which
    // children inherit.
    _wputenv_s(Wide(name).c_str(), Wide(value).c_str());
    SetEnvironmentVariableW(Wide(name).c_str(), value.empty() ? nullptr : Wide(value).c_str());
}

void UseBinaryStandardOutput() {
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}

void* OpenLibraryFile(const std::string& path) { return LoadLibraryW(Wide(path).c_str()); }

void* LibrarySymbol(void* library, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

const char* const FTDI_LIBRARY_FILE_NAME = "ftd2xx.dll";
const char* const OM_LIBRARY_FILE_NAME = "ZVUSB.dll";

// The loader's endpoint: a named pipe whose name is the endpoint's path in
// its runtime folder, with separators and colons made '-'.
void PostToLoaderWindow(const std::string& line) {
    const wchar_t* runtime = _wgetenv(L"XDG_RUNTIME_DIR");
    std::wstring endpoint = runtime && *runtime ? std::wstring(runtime) + L"\\usbfwloader"
                                                : Wide(TemporaryFolder()) + L"\\usbfwloader-" + UserName();
    endpoint += L"\\TMainForm";
    std::replace_if(
        endpoint.begin(), endpoint.end(), [](wchar_t c) { return c == L'\\' || c == L'/' || c == L':'; }, L'-');
    const std::wstring pipe = L"\\\\.\\pipe\\" + endpoint;
    for (int attempt = 0; attempt < 4; ++attempt) {
        const HANDLE client = CreateFileW(pipe.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (client != INVALID_HANDLE_VALUE) {
            DWORD sent = 0;
            WriteFile(client, line.data(), static_cast<DWORD>(line.size()), &sent, nullptr);
            CloseHandle(client);
            return;
        }
        if (GetLastError() != ERROR_PIPE_BUSY) return;
        WaitNamedPipeW(pipe.c_str(), 200);
    }
}

// LoadLibrary reads this process's PATH at every call, and children inherit
// it: no restart is needed.
void UseLibraryFolder(const std::string& folder, char**) {
    const char* current = std::getenv("PATH");
    if (current && std::string(current).rfind(folder, 0) == 0) return;
    SetEnvironment("PATH", current && *current ? folder + ";" + current : folder);
}

}  // namespace zvsim
