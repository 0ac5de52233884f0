#include "platform/Files.h"

#include <windows.h>

#include "platform/windows/Wide.h"

namespace zv {
namespace {

bool Fail(std::string* error, const std::filesystem::path& file, DWORD code) {
    if (error) *error = file.string() + ": " + SystemErrorText(code);
    return false;
}

// Owner of a file handle.
struct TFile {
    HANDLE handle;
    explicit operator bool() const { return handle != INVALID_HANDLE_VALUE; }
    ~TFile() {
        if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
};

bool WriteAll(HANDLE file, std::string_view bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD n = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 30));
        if (!WriteFile(file, bytes.data() + done, chunk, &n, nullptr) || n == 0) return false;
        done += n;
    }
    return true;
}

bool WriteNew(const std::filesystem::path& file, std::string_view bytes, std::string* error) {
    const TFile out{CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)};
    if (!out) return Fail(error, file, GetLastError());
    return WriteAll(out.handle, bytes) || Fail(error, file, GetLastError());
}

}  // namespace

bool AppendToFile(const std::filesystem::path& file, std::string_view bytes, std::string* error) {
    // Append access alone makes every write land at the end of the file. The
    // lock keeps writes of other threads and processes from meeting there,
    // where Wine would let them overwrite each other.
    const TFile out{CreateFileW(file.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)};
    if (!out) return Fail(error, file, GetLastError());
    OVERLAPPED whole{};
    const bool locked = LockFileEx(out.handle, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole);
    DWORD written = 0;
    const bool wrote = WriteFile(out.handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    const DWORD writeError = GetLastError();
    if (locked) UnlockFileEx(out.handle, 0, MAXDWORD, MAXDWORD, &whole);
    if (!wrote) return Fail(error, file, writeError);
    if (written == bytes.size()) return true;
    if (error) *error = file.string() + ": short write";
    return false;
}

bool WriteFileInPlace(const std::filesystem::path& file, std::string_view bytes, std::string* error) {
    return WriteNew(file, bytes, error);
}

bool WriteFileByRename(const std::filesystem::path& file, std::string_view bytes, std::string* error) {
    std::filesystem::path temporary = file;
    temporary += ".tmp";
    if (!WriteNew(temporary, bytes, error)) {
        DeleteFileW(temporary.c_str());
        return false;
    }
    if (!MoveFileExW(temporary.c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        Fail(error, file, GetLastError());
        DeleteFileW(temporary.c_str());
        return false;
    }
    return true;
}

// Windows keeps no write permission on folders that a check could read: a
// file made and gone at once is the answer.
bool MayCreateFilesIn(const std::filesystem::path& folder) {
    wchar_t name[MAX_PATH] = {};
    if (!GetTempFileNameW(folder.c_str(), L"zv", 0, name)) return false;
    DeleteFileW(name);
    return true;
}

TFileRead ReadWholeFile(const std::filesystem::path& file, uint64_t maxBytes) {
    TFileRead result;
    const TFile in{CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)};
    if (!in) return result;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(in.handle, &size)) return result;
    if (static_cast<uint64_t>(size.QuadPart) > maxBytes) {
        result.status = TFileRead::TStatus::TooLarge;
        return result;
    }
    result.bytes.resize(static_cast<size_t>(size.QuadPart));
    size_t done = 0;
    while (done < result.bytes.size()) {
        DWORD n = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(result.bytes.size() - done, 1u << 30));
        if (!ReadFile(in.handle, result.bytes.data() + done, chunk, &n, nullptr) || n == 0) break;
        done += n;
    }
    if (done == result.bytes.size())
        result.status = TFileRead::TStatus::Read;
    else
        result.bytes.clear();
    return result;
}

}  // namespace zv
