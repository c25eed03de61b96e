#pragma once

#include "app/sdiappform.h"

#include <QString>
#include <QStringList>

class QAbstractButton;

namespace qb::test {

// The main window as its user meets it: books and pages chosen by their tabs, commands and
// menu items by their captions, and what the grid shows.
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
    // The grid's first column, the current row in brackets: "a,[b],c".
    QString gridRows() const;
    // The page of the book shown, its grid and which book it is.
    QWidget* bookPage() const;
    DBGrid* grid() const;
    BookId bookShown() const;

private:
    TSDIAppForm& m_form;
};

} // namespace qb::test
