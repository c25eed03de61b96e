#include "tables.h"
#include "widgets/lbbutton.h"

#include <QAccessible>
#include <QImage>
#include <QTest>

using namespace qb;
using namespace Qt::StringLiterals;

class TestLbButton : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void drawsFaceEdgeAndCaption_data() {
        test::addTableRows(u"widgets/button-looks.txt"_s, {"style", "state", "look", "ink"});
    }
    void drawsFaceEdgeAndCaption() {
        QFETCH(QString, style);
        QFETCH(QString, state);
        QFETCH(QString, look);
        QFETCH(QString, ink);
        TLbButton button(u"添加"_s);
        button.resize(70, 23);
        button.setShadowColor(Qt::darkGray);
        button.setLightColor(Qt::white);
        button.setColor(Qt::lightGray);
        button.setButtonStyle(style == u"encarta"_s ? ButtonStyle::Encarta : ButtonStyle::Modern);
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
        QString got;
        for (QPoint p : {QPoint(0, 0), QPoint(0, b / 2), QPoint(r / 2, 0), QPoint(r, b),
                         QPoint(r, b / 2), QPoint(r / 2, b), QPoint(2, 2)})
            got += QString::number(qGray(image.pixel(p)), 16).front();
        int darkest = 255;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                darkest = std::min(darkest, qGray(image.pixel(x, y)));
        QCOMPARE(got + u' ' + (darkest > 60 ? u"grey"_s : u"black"_s), look + u' ' + ink);
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(&button);
        QCOMPARE(accessible->text(QAccessible::Name), u"添加"_s);
        QCOMPARE(accessible->role(), QAccessible::Button);
    }
};

QTEST_MAIN(TestLbButton)
#include "tst_lbbutton.moc"
