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

} // namespace

Q_DECLARE_METATYPE(ButtonStyle)

class TestLbButton : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Edges: top and left, bottom and right, then the face; the darkest grey is the caption's
    // ink, greyed when disabled.
    void drawsFaceEdgeAndCaption_data() {
        QTest::addColumn<ButtonStyle>("style");
        QTest::addColumn<QString>("state");
        QTest::addColumn<QList<QColor>>("colours");
        QTest::addColumn<bool>("greyInk");
        const ButtonStyle modern = ButtonStyle::Modern;
        const ButtonStyle encarta = ButtonStyle::Encarta;
        const QList<QColor> raised{kLight, kShadow, kFace}, pressed{kShadow, kLight, kFace};
        const QList<QColor> flat{kFace, kFace, kFace};
        QTest::newRow("modern, raised") << modern << u""_s << raised << false;
        QTest::newRow("modern, pressed") << modern << u"down"_s << pressed << false;
        QTest::newRow("modern, disabled") << modern << u"disabled"_s << raised << true;
        QTest::newRow("encarta, not hovered") << encarta << u""_s << flat << false;
        QTest::newRow("encarta, hovered") << encarta << u"hover"_s << raised << false;
        QTest::newRow("encarta, hovered but disabled")
            << encarta << u"hover disabled"_s << flat << true;
        QTest::newRow("encarta, pressed") << encarta << u"down"_s << pressed << false;
    }
    void drawsFaceEdgeAndCaption() {
        QFETCH(ButtonStyle, style);
        QFETCH(QString, state);
        QFETCH(QList<QColor>, colours);
        QFETCH(bool, greyInk);
        TLbButton button(u"添加"_s);
        button.resize(70, 23);
        button.setShadowColor(kShadow);
        button.setLightColor(kLight);
        button.setColor(kFace);
        button.setButtonStyle(style);
        button.setDown(state.contains(u"down"_s));
        if (state.contains(u"hover"_s)) {
            button.show();
            QVERIFY(QTest::qWaitForWindowExposed(&button));
            QTest::mouseMove(&button, button.rect().center());
            QTRY_VERIFY(button.underMouse());
        }
        button.setEnabled(!state.contains(u"disabled"_s));
        const QImage image = button.grab().toImage();
        const int r = image.width() - 1;
        const int b = image.height() - 1;
        QList<QColor> got;
        for (QPoint p : {QPoint(0, 0), QPoint(0, b / 2), QPoint(r / 2, 0), QPoint(r, b),
                         QPoint(r, b / 2), QPoint(r / 2, b), QPoint(2, 2)})
            got << image.pixel(p);
        QCOMPARE(got, (QList<QColor>{colours[0], colours[0], colours[0], colours[1], colours[1],
                                     colours[1], colours[2]}));
        int ink = 255;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                ink = std::min(ink, qGray(image.pixel(x, y)));
        QVERIFY2(greyInk ? ink > 60 : ink < 20, qPrintable(QString::number(ink)));
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(&button);
        QCOMPARE(accessible->text(QAccessible::Name), u"添加"_s);
        QCOMPARE(accessible->role(), QAccessible::Button);
    }
};

QTEST_MAIN(TestLbButton)
#include "tst_lbbutton.moc"
