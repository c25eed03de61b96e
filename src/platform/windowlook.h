#pragma once

#include <QFont>
#include <QString>

class QAbstractItemView;

namespace qb {

// The program's name: every window's title and every message box's caption start with it.
inline const QString kProgramName = QStringLiteral("Quillbox");

// The font the windows were laid out in, "宋体", or where it is not installed any simplified
// Chinese font this desktop has. The caller chooses the size.
QFont chineseFont();

// A view's selection stays as visible while the focus is elsewhere (on a popup, a button).
void keepSelectionVisible(QAbstractItemView* view);

} // namespace qb
