#pragma once
// The version of the loader's programs, set once for the whole build.

namespace zv {

// "1.0": what --version prints, the window's first log line and every
// production record give.
const char* LoaderVersion();

}  // namespace zv
