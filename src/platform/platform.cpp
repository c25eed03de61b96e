#include "platform.h"

#include <QtGlobal>

namespace qb {

namespace {

Platform* g_platform = nullptr;

// Blanks alone make no address either: the desktop would be asked to open "http://".
bool reportEmpty(const QString& value) {
    if (!value.trimmed().isEmpty())
        return false;
    MsgBox(QStringLiteral("是空的"), QStringLiteral("^^"), mb::Ok);
    return true;
}

} // namespace

Platform& platform() {
    Q_ASSERT_X(g_platform, "qb::platform", "no platform installed");
    return *g_platform;
}

void setPlatform(Platform* platform) {
    g_platform = platform;
}

int MsgBox(const QString& text, const QString& caption, unsigned flags) {
    return platform().messageBox(text, caption, flags);
}

void OpenUrl(const QString& target) {
    if (!reportEmpty(target))
        platform().shellOpen(target);
}

void OpenMailTo(const QString& address) {
    if (!reportEmpty(address))
        platform().shellOpen(QStringLiteral("mailto:") + address);
}

} // namespace qb
