#pragma once

#include <QColor>
#include <QPushButton>

class QPainter;

namespace qb {

enum class ButtonStyle { Normal, Encarta, Modern };

// The command button. Normal is the desktop style's own push button; Modern a flat face
// in Color with a one-pixel edge, light above and left, shadow below and right (swapped
// while pressed); Encarta the same face that shows its edge only under the mouse. The
// caption stays the push button's text, so screen readers and mnemonics work unchanged.
class TLbButton : public QPushButton {
    Q_OBJECT
public:
    explicit TLbButton(QWidget* parent = nullptr);
    explicit TLbButton(const QString& text, QWidget* parent = nullptr);

    ButtonStyle buttonStyle() const { return m_style; }
    void setButtonStyle(ButtonStyle style);
    QColor shadowColor() const { return m_shadow; }
    void setShadowColor(const QColor& color);
    QColor lightColor() const { return m_light; }
    void setLightColor(const QColor& color);
    QColor color() const { return m_color; }
    void setColor(const QColor& color);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    enum class Edge { None, Raised, Sunken };

    Edge edge() const;
    void paintEdge(QPainter& painter, Edge edge) const;
    void paintLabel(QPainter& painter, bool sunken) const;
    void paintFocus(QPainter& painter) const;
    void setMember(QColor& member, const QColor& color);

    ButtonStyle m_style = ButtonStyle::Normal;
    QColor m_shadow;
    QColor m_light;
    QColor m_color;
};

} // namespace qb
