#include "appicon.h"

namespace qb {

QIcon applicationIcon() {
    QIcon icon;
    for (int size : {16, 32, 48, 128})
        icon.addFile(QStringLiteral(":/icons/quillbox-%1.png").arg(size), QSize(size, size));
    return icon;
}

} // namespace qb
