#include "widgets/lbbutton.h"

#include <QAccessible>
#include <QImage>
#include <QTest>

using namespace qb;
using namespace Qt::StringLiterals;

namespace {

const QColor kShadow(128, 128, 128);
const QColor kLight(Qt::white);
const QColor kFace(200, 210, 220);

// The darkest grey level drawn anywhere: the caption's ink.
int darkest(const QImage& image) {
    int level = 255;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            level = std::min(level, qGray(image.pixel(x, y)));
    return level;
}

} // namespace

Q_DECLARE_METATYPE(ButtonStyle)

class TestLbButton : public QObject {
    Q_OBJECT

    std::unique_ptr<TLbButton> m_button;

    QImage render() { return m_button->grab().toImage(); }

private Q_SLOTS:
    void init() {
        m_button = std::make_unique<TLbButton>(u"添加"_s);
        m_button->resize(70, 23);
        m_button->setShadowColor(kShadow);
        m_button->setLightColor(kLight);
        m_button->setColor(kFace);
    }
    void cleanup() { m_button.reset(); }

    void flatStylesDrawFaceAndEdge_data() {
        QTest::addColumn<ButtonStyle>("style");
        QTest::addColumn<bool>("down");
        QTest::addColumn<bool>("hovered");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<QColor>("topLeft");
        QTest::addColumn<QColor>("bottomRight");
        const ButtonStyle modern = ButtonStyle::Modern;
        const ButtonStyle encarta = ButtonStyle::Encarta;
        QTest::newRow("modern, raised") << modern << false << false << true << kLight << kShadow;
        QTest::newRow("modern, pressed") << modern << true << false << true << kShadow << kLight;
        QTest::newRow("encarta, not hovered")
            << encarta << false << false << true << kFace << kFace;
        QTest::newRow("encarta, hovered") << encarta << false << true << true << kLight << kShadow;
        QTest::newRow("encarta, hovered but disabled")
            << encarta << false << true << false << kFace << kFace;
        QTest::newRow("encarta, pressed") << encarta << true << false << true << kShadow << kLight;
    }
    void flatStylesDrawFaceAndEdge() {
        QFETCH(ButtonStyle, style);
        QFETCH(bool, down);
        QFETCH(bool, hovered);
        QFETCH(bool, enabled);
        QFETCH(QColor, topLeft);
        QFETCH(QColor, bottomRight);
        m_button->setButtonStyle(style);
        m_button->setDown(down);
        if (hovered) {
            m_button->show();
            QVERIFY(QTest::qWaitForWindowExposed(m_button.get()));
            QTest::mouseMove(m_button.get(), m_button->rect().center());
            QTRY_VERIFY(m_button->underMouse());
        }
        m_button->setEnabled(enabled);
        const QImage image = render();
        const int right = image.width() - 1;
        const int bottom = image.height() - 1;
        QCOMPARE(QColor(image.pixel(0, 0)), topLeft);
        QCOMPARE(QColor(image.pixel(0, bottom / 2)), topLeft);
        QCOMPARE(QColor(image.pixel(right / 2, 0)), topLeft);
        QCOMPARE(QColor(image.pixel(right, bottom)), bottomRight);
        QCOMPARE(QColor(image.pixel(right, bottom / 2)), bottomRight);
        QCOMPARE(QColor(image.pixel(right / 2, bottom)), bottomRight);
        QCOMPARE(QColor(image.pixel(2, 2)), kFace);
    }

    void disabledCaptionIsGreyed() {
        m_button->setButtonStyle(ButtonStyle::Modern);
        const int enabledInk = darkest(render());
        m_button->setEnabled(false);
        const int disabledInk = darkest(render());
        QVERIFY2(disabledInk > enabledInk + 40,
                 qPrintable(u"enabled %1, disabled %2"_s.arg(enabledInk).arg(disabledInk)));
    }

    void captionReachesAccessibility() {
        m_button->setButtonStyle(ButtonStyle::Modern);
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(m_button.get());
        QVERIFY(accessible);
        QCOMPARE(accessible->text(QAccessible::Name), u"添加"_s);
        QCOMPARE(accessible->role(), QAccessible::Button);
    }
};

QTEST_MAIN(TestLbButton)
#include "tst_lbbutton.moc"
