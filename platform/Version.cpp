#include "platform/Version.h"

namespace zv {

const char* LoaderVersion() { return ZV_LOADER_VERSION; }

}  // namespace zv
