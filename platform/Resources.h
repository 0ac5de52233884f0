#pragma once
// The executable's own named data blocks, found by name and type the way the
// loader looks up its built-in image ("FRMV" of type "RC_DATA").

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace zv {

std::optional<std::span<const uint8_t>> FindResource(std::string_view name, std::string_view type);

}  // namespace zv
