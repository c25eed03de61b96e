#include "books.h"
#include "store/preferences.h"
#include "support/driver.h"
#include "support/windowdriver.h"
#include "tables.h"
#include "testfiles.h"
#include "widgets/dbgrid.h"
#include "widgets/lbbutton.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTest>
#include <QTextBlock>

using namespace qb;
using namespace Qt::StringLiterals;

class TestBooks : public QObject {
    Q_OBJECT

    std::unique_ptr<test::Sandbox> m_box;
    std::unique_ptr<TSDIAppForm> m_form;
    std::unique_ptr<test::Driver> m_user;

    // The three books hold these keys, in this order, when the window opens on them.
    void start(const QStringList& keys) {
        const QString file = test::createBookFile(m_box->dir.path());
        {
            RecordStore store;
            store.openDatabase(file);
            for (BookId id : allBooks())
                for (const QString& key : keys)
                    test::addRecord(store.book(id), {key});
        }
        test::rememberDatabase(m_box->ini(), file);
        m_form = test::showMainWindow(m_box->ini());
        m_user = std::make_unique<test::Driver>(*m_form);
        QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    }
    QComboBox* labelled(const QString& label) const {
        for (const QLabel* candidate : m_user->bookPage()->findChildren<QLabel*>())
            if (candidate->text() == label)
                return qobject_cast<QComboBox*>(candidate->buddy());
        return nullptr;
    }
    // Key presses for ASCII, an input-method commit otherwise.
    static void type(const QString& text) {
        QWidget* focus = QApplication::focusWidget();
        if (std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x80; }))
            return QTest::keyClicks(focus, text);
        QInputMethodEvent commit;
        commit.setCommitString(text);
        QApplication::sendEvent(focus, &commit);
    }

    // One user step, written as the header of books/commands.txt describes.
    void step(const QString& step) {
        const QString rest = step.mid(1);
        if (step.startsWith(u'@')) {
            m_user->showPage(rest);
        } else if (step.startsWith(u'[')) {
            QWidget* control = m_user->bookPage()->findChild<QWidget*>(rest.chopped(1));
            QTest::mouseClick(control, Qt::LeftButton, {}, QPoint(2, 2));
            control->setFocus(Qt::MouseFocusReason);
        } else if (step.startsWith(u'=')) {
            type(rest);
        } else if (step.startsWith(u'^')) {
            const QKeyCombination key = QKeySequence(rest)[0];
            QTest::keyClick(QApplication::focusWidget(), key.key(), key.keyboardModifiers());
        } else if (step.startsWith(u"字段:"_s)) {
            QComboBox* chooser = labelled(u"字段"_s);
            chooser->setFocus(Qt::MouseFocusReason);
            QTest::keyClick(chooser, Qt::Key_Home);
            while (chooser->currentText() != step.mid(3) &&
                   chooser->currentIndex() + 1 < chooser->count())
                QTest::keyClick(chooser, Qt::Key_Down);
        } else if (step.startsWith(u"menu:"_s)) {
            m_user->choose(step.mid(5));
        } else if (step.startsWith(u'?')) {
            QLineEdit* box = labelled(u"要找的内容"_s)->lineEdit();
            QTest::mouseClick(box, Qt::LeftButton);
            box->setFocus(Qt::MouseFocusReason);
            QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClick(box, Qt::Key_Backspace);
            type(rest);
        } else if (step.startsWith(u'#')) {
            const DBGrid* grid = m_user->grid();
            const QHeaderView* titles = grid->horizontalHeader();
            const QHeaderView* marks = grid->verticalHeader();
            const int row = rest.mid(rest.startsWith(u'<') ? 1 : 0).toInt() - 1;
            if (rest == u"title"_s)
                QTest::mouseClick(titles->viewport(), Qt::LeftButton, {},
                                  {titles->sectionViewportPosition(1) + 5, titles->height() / 2});
            else if (rest.startsWith(u'<'))
                QTest::mouseClick(marks->viewport(), Qt::LeftButton, {},
                                  {marks->width() / 2, marks->sectionViewportPosition(row) + 5});
            else
                QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                                  rest == u"below"_s
                                      ? QPoint(20, grid->viewport()->height() - 3)
                                      : grid->visualRect(grid->model()->index(row, 0)).center());
        } else if (step.contains(u'!')) {
            m_box->platform.answers.enqueue(step.endsWith(u"是"_s) ? mb::IdYes : mb::IdNo);
            m_user->click(step.section(u'!', 0, 0));
        } else {
            m_user->click(step);
        }
    }

    // The captions of the enabled command buttons in their column's order, the inner page
    // shown with the entry sub-page where the book has them, and the position panel, count
    // panel and the count bar's last panel.
    QString shown() const {
        QList<TLbButton*> buttons = m_user->bookPage()->findChildren<TLbButton*>();
        std::sort(buttons.begin(), buttons.end(), [](const TLbButton* a, const TLbButton* b) {
            return std::pair(a->y(), a->x()) < std::pair(b->y(), b->x());
        });
        QStringList enabled;
        for (const TLbButton* button : buttons)
            if (button->isEnabled())
                enabled << button->text();
        QStringList pages;
        for (const QTabWidget* tabs : m_user->bookPage()->findChildren<QTabWidget*>())
            pages << tabs->tabText(tabs->currentIndex());
        const int book = int(m_user->bookShown());
        const auto panel = [this](const QString& name) {
            return m_form->findChild<QLabel*>(name)->text();
        };
        return QStringList{pages.join(u'/'), enabled.join(u' '),
                           panel(u"sb2Panel%1"_s.arg(book)) + u';' +
                               panel(u"sb1Panel%1"_s.arg(book)) + u';' + panel(u"sb1Panel3"_s)}
            .join(u" | "_s);
    }

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China)); }
    void init() { m_box = std::make_unique<test::Sandbox>(); }
    void cleanup() {
        m_user.reset();
        m_form.reset();
        m_box.reset();
    }

    void commands_data() {
        test::addTableRows(u"books/commands.txt"_s,
                           {"book", "keys", "steps", "rows", "page", "enabled", "status", "detail",
                            "message", "focus"});
    }
    void commands() {
        QFETCH(QString, book);
        QFETCH(QString, keys);
        QFETCH(QString, steps);
        QFETCH(QString, rows);
        QFETCH(QString, page);
        QFETCH(QString, enabled);
        QFETCH(QString, status);
        QFETCH(QString, detail);
        QFETCH(QString, message);
        QFETCH(QString, focus);
        start(keys.split(u',', Qt::SkipEmptyParts));
        m_user->showBook(book);
        for (const QString& s : steps.split(u','))
            step(s);
        if (const QWidget* focused = QApplication::focusWidget(); !focus.isEmpty())
            QCOMPARE(focused->objectName() + u'=' + focused->property("text").toString(), focus);
        QCOMPARE(m_user->gridRows(), rows);
        QCOMPARE(
            shown(),
            (QStringList{
                page,
                enabled.replace(u"browsing"_s, u"添加 插入 修改 删除 刷新 ||< |< >| >|| 定位"_s)
                    .replace(u"entering"_s, u"提交 取消"_s),
                status}
                 .join(u" | "_s)));
        m_user->showBook(u"邮箱"_s);
        // The Detail view from the start of its cursor's line.
        const auto* view = m_form->findChild<QPlainTextEdit*>(u"Lianxi1Zhanshi"_s);
        const QString text = view->toPlainText().mid(view->textCursor().block().position());
        if (detail.endsWith(u".txt"_s))
            QCOMPARE(text, QString::fromUtf8(test::goldenBytes(detail)));
        else
            QCOMPARE(text.section(u'\n', 0, 0), detail);
        QString last;
        for (const ScriptedPlatform::Message& box : m_box->platform.messages)
            last = u"%1 0x%2 %3"_s.arg(box.caption).arg(box.flags, 0, 16).arg(box.text);
        QVERIFY2(message.isEmpty() ? last.isEmpty() : last.startsWith(message), qPrintable(last));
    }

    // The history keeps the first spelling of a text, the empty one too, and is remembered.
    void searchHistory() {
        start({u"b"_s, u"abc"_s, u"ab"_s});
        for (const QString& text : {u"ab"_s, u"AB"_s, QString(), QString()}) {
            step(u'?' + text);
            step(u"定位"_s);
        }
        m_form.reset();
        QCOMPARE(LoadPreferences(m_box->ini()).histories[0], (QStringList{u"ab"_s, QString()}));
    }

    // Any keys as 其他 → 按拼音排序 lists them.
    void pinyinOrder_data() { test::addTableRows(u"books/pinyin-order.txt"_s, {"keys", "rows"}); }
    void pinyinOrder() {
        QFETCH(QString, keys);
        QFETCH(QString, rows);
        start(keys.split(u','));
        m_user->choose(u"按拼音排序"_s);
        QCOMPARE(m_user->gridRows().remove(u'[').remove(u']'), rows);
    }

    // The order is remembered in the preferences file (only "1" means pinyin), and turning it
    // off brings code order back at once.
    void pinyinOrderRemembered_data() { test::addTableRows(u"books/pinyin-remembered.txt"_s); }
    void pinyinOrderRemembered() {
        const auto [before, start, chosen, after] = test::cells<4>();
        this->start({u"李四"_s, u"Li"_s, u"阿强"_s});
        m_form.reset();
        const QByteArray written = test::readBytes(m_box->ini());
        if (!before.isNull())
            test::writeBytes(m_box->ini(), written + test::bytesOf(before));
        m_form = test::showMainWindow(m_box->ini());
        m_user = std::make_unique<test::Driver>(*m_form);
        QCOMPARE(m_user->gridRows(), start);
        m_user->choose(u"按拼音排序"_s);
        QCOMPARE(m_user->gridRows(), chosen);
        m_user.reset();
        m_form.reset();
        QCOMPARE(test::readBytes(m_box->ini()), written + test::bytesOf(after));
    }

    // The pages take the window's size after the window system has resized it, when it is
    // maximized and when it is restored.
    void maximizeAndRestoreRelayout() {
        start({});
        const auto inner = [this] {
            return m_form->findChild<QWidget*>(u"PageControl4"_s)->width();
        };
        m_form->showMaximized();
        QTRY_VERIFY(m_form->isMaximized() && m_form->width() > 613);
        QTRY_COMPARE(inner(), m_form->width() - 70 - 80);
        m_user->showBook(u"序列号"_s);
        QCOMPARE(m_user->button(u"添加"_s)->x(), inner() + 10);
        QCOMPARE(m_user->button(u">||"_s)->x(), inner() + 10 + 3 * 28);
        m_form->showNormal();
        QTRY_VERIFY(!m_form->isMaximized());
        for (const char* name : {"PageControl2", "PageControl4", "PageControl5"})
            QCOMPARE(m_form->findChild<QWidget*>(QString::fromLatin1(name))->width(), 383);
        m_user->showBook(u"邮箱"_s);
        QCOMPARE(m_user->button(u"添加"_s)->x(), 393);
        QCOMPARE(m_user->button(u"|<"_s)->x(), 393 + 28);
    }
};

QTEST_MAIN(TestBooks)
#include "tst_books.moc"
