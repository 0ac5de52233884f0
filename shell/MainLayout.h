#pragma once
// The window's own pixel sizes, shared by the parts of TMainForm.

namespace zv {

inline constexpr int GROUP_BOX_MARGIN = 3;
inline constexpr int GROUP_BOX_HEIGHT = 110;
inline constexpr int SPLITTER_HEIGHT = 3;
// The file box's drop-down list is wider than the box.
inline constexpr int FILE_LIST_WIDTH = 500;
// Room for "Прибор 5500250" before the message body.
inline constexpr int LOG_TAB_STOP = 92;

}  // namespace zv
