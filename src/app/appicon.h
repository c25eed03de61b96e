#pragma once

#include <QIcon>

namespace qb {

// The program's picture, for the window and the tray icon.
QIcon applicationIcon();

} // namespace qb
