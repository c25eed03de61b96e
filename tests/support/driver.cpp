#include "driver.h"

#include "widgets/dbgrid.h"
#include "widgets/lbbutton.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTextBlock>
#include <algorithm>

namespace qb::test {

namespace {

using namespace Qt::StringLiterals;

template <typename T> T* named(const QObject* parent, const QString& name) {
    T* found = parent->findChild<T*>(name);
    if (!found)
        qFatal("no control named %s", qPrintable(name));
    return found;
}

void clickTab(const QWidget* in, const QString& caption) {
    for (QTabBar* bar : in->findChildren<QTabBar*>())
        for (int i = 0; i < bar->count(); ++i)
            if (bar->isVisible() && bar->tabText(i) == caption)
                return QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(i).center());
    qFatal("no tab %s", qPrintable(caption));
}

QAction* findItem(const QList<QAction*>& items, const QString& caption) {
    for (QAction* item : items) {
        QAction* inner = item->menu() ? findItem(item->menu()->actions(), caption) : nullptr;
        if (item->text() == caption || inner)
            return inner ? inner : item;
    }
    return nullptr;
}

} // namespace

BookId Driver::bookShown() const {
    return BookId(named<QTabWidget>(&m_form, u"PageControl1"_s)->currentIndex());
}

QWidget* Driver::bookPage() const {
    return named<QTabWidget>(&m_form, u"PageControl1"_s)->currentWidget();
}

DBGrid* Driver::grid() const {
    return named<DBGrid>(bookPage(), u"DBGrid%1"_s.arg(int(bookShown()) + 1));
}

void Driver::showBook(const QString& tab) {
    clickTab(named<QTabWidget>(&m_form, u"PageControl1"_s), tab);
}

void Driver::showPage(const QString& tab) {
    clickTab(bookPage(), tab);
}

QAbstractButton* Driver::button(const QString& caption) const {
    for (TLbButton* button : bookPage()->findChildren<TLbButton*>())
        if (button->text() == caption)
            return button;
    qFatal("no button %s", qPrintable(caption));
}

void Driver::click(const QString& caption) {
    QTest::mouseClick(button(caption), Qt::LeftButton);
}

void Driver::choose(const QString& caption) {
    QAction* item = findItem(
        m_form.menuBar()->actions() + named<QMenu>(&m_form, u"PopupMenu1"_s)->actions(), caption);
    if (!item)
        qFatal("no menu item %s", qPrintable(caption));
    // A disabled item cannot be chosen.
    if (item->isEnabled())
        item->trigger();
}

void Driver::clickInto(const QString& field) {
    QWidget* control = named<QWidget>(bookPage(), field);
    QTest::mouseClick(control, Qt::LeftButton, {}, QPoint(2, 2));
    control->setFocus(Qt::MouseFocusReason);
}

void Driver::type(const QString& text) {
    QWidget* focus = QApplication::focusWidget();
    if (std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x80; }))
        return QTest::keyClicks(focus, text);
    QInputMethodEvent commit;
    commit.setCommitString(text);
    QApplication::sendEvent(focus, &commit);
}

void Driver::erase() {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backspace);
}

void Driver::clickRow(int n) {
    QTest::mouseClick(grid()->viewport(), Qt::LeftButton, {},
                      grid()->visualRect(grid()->model()->index(n - 1, 0)).center());
}

QComboBox* Driver::labelled(const QString& label) const {
    for (const QLabel* candidate : bookPage()->findChildren<QLabel*>())
        if (auto* box = qobject_cast<QComboBox*>(candidate->buddy());
            box && candidate->text() == label)
            return box;
    qFatal("no box labelled %s", qPrintable(label));
}

void Driver::chooseField(const QString& column) {
    QComboBox* chooser = labelled(u"字段"_s);
    chooser->setFocus(Qt::MouseFocusReason);
    QTest::keyClick(chooser, Qt::Key_Home);
    while (chooser->currentText() != column && chooser->currentIndex() + 1 < chooser->count())
        QTest::keyClick(chooser, Qt::Key_Down);
}

void Driver::search(const QString& text) {
    QLineEdit* box = labelled(u"要找的内容"_s)->lineEdit();
    QTest::mouseClick(box, Qt::LeftButton);
    box->setFocus(Qt::MouseFocusReason);
    erase();
    if (!text.isEmpty())
        type(text);
}

QString Driver::enabledButtons() const {
    QList<TLbButton*> buttons = bookPage()->findChildren<TLbButton*>();
    std::sort(buttons.begin(), buttons.end(), [](const TLbButton* a, const TLbButton* b) {
        return std::pair(a->y(), a->x()) < std::pair(b->y(), b->x());
    });
    QStringList captions;
    for (const TLbButton* button : buttons)
        if (button->isEnabled())
            captions << button->text();
    return captions.join(u' ');
}

QString Driver::gridRows() const {
    const QAbstractItemModel* rows = grid()->model();
    QStringList keys;
    for (int row = 0; row < rows->rowCount(); ++row) {
        const QString key = rows->index(row, 0).data().toString();
        keys << (row == grid()->currentIndex().row() ? u"[%1]"_s.arg(key) : key);
    }
    return keys.join(u',');
}

QString Driver::pageShown() const {
    static const QString pageControls[] = {u"PageControl2"_s, u"PageControl4"_s, u"PageControl5"_s};
    const auto* pages = named<QTabWidget>(bookPage(), pageControls[int(bookShown())]);
    QString shown = pages->tabText(pages->currentIndex());
    if (const auto* sub = bookPage()->findChild<QTabWidget*>(u"PageControl3"_s))
        shown += u'/' + sub->tabText(sub->currentIndex());
    return shown;
}

QString Driver::statusPanels() const {
    const int book = int(bookShown());
    const auto text = [this](const QString& name) { return named<QLabel>(&m_form, name)->text(); };
    return QStringList{text(u"sb2Panel%1"_s.arg(book)), text(u"sb1Panel%1"_s.arg(book)),
                       text(u"sb1Panel3"_s)}
        .join(u';');
}

QString Driver::detailFromCursor() const {
    const auto* view = bookPage()->findChild<QPlainTextEdit*>(u"Lianxi1Zhanshi"_s);
    return view ? view->toPlainText().mid(view->textCursor().block().position()) : QString();
}

} // namespace qb::test
