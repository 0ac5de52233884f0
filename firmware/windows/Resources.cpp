#include "platform/Resources.h"

#include <windows.h>

#include <algorithm>
#include <string>

// windows.h names FindResource after its wide form; ours is zv::FindResource.
#undef FindResource

namespace zv {
namespace {

// The types by the names the loader looks them up with.
LPCWSTR ResourceType(std::string_view type) { return type == "RC_DATA" ? RT_RCDATA : nullptr; }

// The resource compiler keeps names in capitals and the system looks them up
// in any case; the names are matched exactly, as on every other system.
bool IsResourceName(std::string_view name) {
    return !name.empty() && std::none_of(name.begin(), name.end(), [](char c) { return c >= 'a' && c <= 'z'; });
}

}  // namespace

std::optional<std::span<const uint8_t>> FindResource(std::string_view name, std::string_view type) {
    const LPCWSTR resourceType = ResourceType(type);
    if (!resourceType || !IsResourceName(name)) return std::nullopt;
    const std::wstring resourceName(name.begin(), name.end());
    const HMODULE self = GetModuleHandleW(nullptr);
    const HRSRC found = FindResourceW(self, resourceName.c_str(), resourceType);
    if (!found) return std::nullopt;
    const HGLOBAL loaded = LoadResource(self, found);
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data) return std::nullopt;
    // A resource stays mapped for as long as the program runs.
    return std::span<const uint8_t>(static_cast<const uint8_t*>(data), SizeofResource(self, found));
}

}  // namespace zv
