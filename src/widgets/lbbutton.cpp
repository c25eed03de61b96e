#include "lbbutton.h"

#include <QPainter>
#include <QStyleOptionButton>
#include <QStyleOptionFocusRect>

namespace qb {

namespace {

// The focus frame sits inside the edge and clear of it.
constexpr int kFocusInset = 3;

} // namespace

TLbButton::TLbButton(QWidget* parent)
    : TLbButton(QString(), parent) {}

TLbButton::TLbButton(const QString& text, QWidget* parent)
    : QPushButton(text, parent)
    , m_shadow(palette().color(QPalette::Dark))
    , m_light(palette().color(QPalette::Light))
    , m_color(palette().color(QPalette::Button)) {
    // Repaints on entering and leaving, which the flat-until-hovered look needs.
    setAttribute(Qt::WA_Hover);
}

void TLbButton::setButtonStyle(ButtonStyle style) {
    if (m_style == style)
        return;
    m_style = style;
    update();
}

void TLbButton::setShadowColor(const QColor& color) {
    setMember(m_shadow, color);
}
void TLbButton::setLightColor(const QColor& color) {
    setMember(m_light, color);
}
void TLbButton::setColor(const QColor& color) {
    setMember(m_color, color);
}

void TLbButton::setMember(QColor& member, const QColor& color) {
    if (member == color)
        return;
    member = color;
    update();
}

TLbButton::Edge TLbButton::edge() const {
    if (isDown() || isChecked())
        return Edge::Sunken;
    if (m_style == ButtonStyle::Encarta && !(isEnabled() && underMouse()))
        return Edge::None;
    return Edge::Raised;
}

void TLbButton::paintEvent(QPaintEvent* event) {
    if (m_style == ButtonStyle::Normal) {
        QPushButton::paintEvent(event);
        return;
    }
    QPainter painter(this);
    painter.fillRect(rect(), m_color);
    const Edge shown = edge();
    paintEdge(painter, shown);
    paintLabel(painter, shown == Edge::Sunken);
    if (hasFocus())
        paintFocus(painter);
}

void TLbButton::paintEdge(QPainter& painter, Edge edge) const {
    if (edge == Edge::None)
        return;
    const QRect r = rect();
    const bool raised = edge == Edge::Raised;
    painter.setPen(raised ? m_light : m_shadow);
    painter.drawLine(r.topLeft(), r.topRight());
    painter.drawLine(r.topLeft(), r.bottomLeft());
    painter.setPen(raised ? m_shadow : m_light);
    painter.drawLine(r.bottomLeft(), r.bottomRight());
    painter.drawLine(r.topRight(), r.bottomRight());
}

void TLbButton::paintLabel(QPainter& painter, bool sunken) const {
    QStyleOptionButton option;
    initStyleOption(&option);
    if (sunken)
        option.rect.translate(1, 1);
    // The style greys the caption of a disabled button from the palette's disabled group.
    style()->drawControl(QStyle::CE_PushButtonLabel, &option, &painter, this);
}

void TLbButton::paintFocus(QPainter& painter) const {
    QStyleOptionFocusRect focus;
    focus.initFrom(this);
    focus.rect = rect().adjusted(kFocusInset, kFocusInset, -kFocusInset, -kFocusInset);
    focus.backgroundColor = m_color;
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
}

} // namespace qb
