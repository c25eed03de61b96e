#include "besidefile.h"

#include <QRandomGenerator>

namespace qb {

QByteArray temporaryNameBeside(const QByteArray& name) {
    const QByteArray folder = name.left(name.lastIndexOf('/') + 1);
    return folder + ".qb-" + QByteArray::number(QRandomGenerator::global()->generate64(), 36) +
           ".tmp";
}

} // namespace qb
