#include "platform/Resources.h"

#include <algorithm>

extern "C" const uint8_t zv_resource_frmv_begin[];
extern "C" const uint8_t zv_resource_frmv_end[];

namespace zv {
namespace {

struct TResourceEntry {
    std::string_view name;
    std::string_view type;
    const uint8_t* begin;
    const uint8_t* end;
};

const TResourceEntry kResources[] = {
    {"FRMV", "RC_DATA", zv_resource_frmv_begin, zv_resource_frmv_end},
};

}  // namespace

std::optional<std::span<const uint8_t>> FindResource(std::string_view name, std::string_view type) {
    auto it = std::find_if(std::begin(kResources), std::end(kResources),
                           [&](const TResourceEntry& r) { return r.name == name && r.type == type; });
    if (it == std::end(kResources)) return std::nullopt;
    return std::span<const uint8_t>(it->begin, it->end);
}

}  // namespace zv
