#include "platform.h"

#include <QtGlobal>

namespace qb {

namespace {
Platform* g_platform = nullptr;
}

Platform& platform() {
    Q_ASSERT_X(g_platform, "qb::platform", "no platform installed");
    return *g_platform;
}

void setPlatform(Platform* platform) {
    g_platform = platform;
}

} // namespace qb
