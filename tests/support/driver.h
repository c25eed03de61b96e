#pragma once

#include "app/sdiappform.h"

#include <QString>
#include <QStringList>

class QAbstractButton;
class QComboBox;

namespace qb::test {

// The main window as its user meets it: books and pages chosen by their tabs, commands by
// their captions, text typed at the keyboard or committed by an input method, and what the
// grid, the status line and the pages show.
class Driver {
public:
    explicit Driver(TSDIAppForm& form)
        : m_form(form) {}

    // Brings the book with this tab caption ("邮箱", "网址", "序列号") to the front.
    void showBook(const QString& tab);
    // Clicks the tab with this caption on the book shown (大概, 录入, 展示, 个人, 家庭, 单位).
    void showPage(const QString& tab);
    // The command button with this caption on the book shown.
    QAbstractButton* button(const QString& caption) const;
    void click(const QString& caption);
    // Triggers the menu item with this caption, in the menu bar's menus or the tray's menu.
    void choose(const QString& caption);
    // Clicks into the field (by control name) of the book shown, as a user puts the cursor
    // there.
    void clickInto(const QString& field);
    // Types at the keyboard focus: key presses for ASCII, an input-method commit otherwise.
    void type(const QString& text);
    // Empties the field that has the keyboard focus: select all, then Backspace.
    void erase();
    // Clicks the n-th row (from 1) of the grid of the book shown.
    void clickRow(int n);
    // Chooses the column to search in 字段 with the arrow keys.
    void chooseField(const QString& column);
    // Replaces what the search box of the book shown holds by typing.
    void search(const QString& text);

    // The captions of the enabled command buttons of the book shown, in their column's order.
    QString enabledButtons() const;
    // The grid's first column, the current row in brackets: "a,[b],c".
    QString gridRows() const;
    // The inner page shown, with the entry sub-page where the book has them: "录入/个人".
    QString pageShown() const;
    // The book's position panel, count panel and the count bar's last panel, ";"-separated.
    QString statusPanels() const;
    // The Detail view's text from the start of its cursor's line; empty where the book has none.
    QString detailFromCursor() const;

private:
    QWidget* bookPage() const;
    DBGrid* grid() const;
    QComboBox* labelled(const QString& label) const;
    BookId bookShown() const;

    TSDIAppForm& m_form;
};

} // namespace qb::test
