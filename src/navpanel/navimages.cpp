#include "navimages.h"

#include <QPainter>
#include <QPainterPath>

namespace qb {

namespace {

constexpr int kImageSize = 16;

const QColor kNormalColor(0x3a, 0x6e, 0xa5);
const QColor kSelectedColor(0xe0, 0x7b, 0x00);

// A head and shoulders.
void drawContact(QPainter& painter, const QColor& color) {
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawEllipse(QRectF(5, 1, 6, 6));
    QPainterPath shoulders;
    shoulders.moveTo(2, 15);
    shoulders.cubicTo(2, 8, 14, 8, 14, 15);
    shoulders.closeSubpath();
    painter.drawPath(shoulders);
}

// A globe: a circle with a meridian and the equator.
void drawEntry(QPainter& painter, const QColor& color) {
    painter.setPen(QPen(color, 1.5));
    painter.setBrush(color.lighter(170));
    painter.drawEllipse(QRectF(1.5, 1.5, 13, 13));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(QRectF(5, 1.5, 6, 13));
    painter.drawLine(QPointF(1.5, 8), QPointF(14.5, 8));
}

QIcon selectableIcon(NavImage normal, NavImage selected) {
    QIcon icon(navImage(normal));
    icon.addPixmap(navImage(selected), QIcon::Selected);
    return icon;
}

} // namespace

QPixmap navImage(NavImage image) {
    QPixmap pixmap(kImageSize, kImageSize);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const bool selected = image == NavImage::ContactSelected || image == NavImage::EntrySelected;
    const QColor& color = selected ? kSelectedColor : kNormalColor;
    if (image == NavImage::Contact || image == NavImage::ContactSelected)
        drawContact(painter, color);
    else
        drawEntry(painter, color);
    return pixmap;
}

QIcon contactIcon() {
    return selectableIcon(NavImage::Contact, NavImage::ContactSelected);
}

QIcon entryIcon() {
    return selectableIcon(NavImage::Entry, NavImage::EntrySelected);
}

} // namespace qb
