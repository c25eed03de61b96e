#include "appicon.h"

#include <QPainter>
#include <QPixmap>

namespace qb {

namespace {

QPixmap drawIcon(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 48.0, size / 48.0);
    // A closed record book with a quill across it.
    p.setPen(QPen(QColor(40, 60, 110), 2));
    p.setBrush(QColor(60, 110, 190));
    p.drawRoundedRect(QRectF(8, 4, 30, 40), 3, 3);
    p.setBrush(QColor(245, 240, 225));
    p.drawRect(QRectF(34, 6, 6, 36));
    p.setPen(QPen(QColor(250, 250, 250), 2));
    p.drawLine(QPointF(14, 14), QPointF(30, 14));
    p.drawLine(QPointF(14, 20), QPointF(26, 20));
    p.setPen(QPen(QColor(150, 90, 30), 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(16, 42), QPointF(44, 8));
    return pixmap;
}

} // namespace

QIcon applicationIcon() {
    QIcon icon;
    for (int size : {16, 32, 48})
        icon.addPixmap(drawIcon(size));
    return icon;
}

} // namespace qb
