#include "threading/Log.h"

#include "platform/Format.h"

namespace zv {

std::string ElapsedHead(int64_t milliseconds) { return Format("(% 6lld)", static_cast<long long>(milliseconds)); }

}  // namespace zv
