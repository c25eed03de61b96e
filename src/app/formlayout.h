#pragma once

#include "books/bookcontrols.h"
#include "store/schema.h"

#include <QRect>
#include <QSize>
#include <QString>
#include <vector>

namespace qb {

// The designed layout of the main window's book pages, as data: one description per book.

enum class EntryKind { Line, Memo, Sex };

struct EntryField {
    QString control; // DBname
    QString column;  // 姓名
    QString label;   // the text beside it
    EntryKind kind = EntryKind::Line;
    QSize memoSize;
    QString linkButton; // SpeedButton1, or empty
};

struct EntryRow {
    std::vector<EntryField> fields; // one, or two side by side
};

struct EntryTab {
    QString title;
    std::vector<EntryRow> rows;
};

// A command button: the name its handler is known by (LbButton20Click is the websites' >||),
// and what it does.
struct CommandButtonLayout {
    QString name;
    Command command;
    QRect designed;
};

struct SearchBarLayout {
    QRect columnChooser;
    QRect searchBox;
    QPoint locateButton;
    QString locateName;
};

struct BookLayout {
    BookId id;
    QString pageName;       // TabSheet1
    QString pageTitle;      // 邮箱
    QString innerPagesName; // PageControl2
    int innerWidth;
    QString gridName;
    QString chooserName;
    QString searchName;
    SearchBarLayout searchBar;
    std::vector<CommandButtonLayout> buttons;
    std::vector<EntryTab> entryTabs; // more than one: sub-pages of the entry page
    bool hasDetailPage;
};

const BookLayout& bookLayout(BookId id);
QString commandCaption(Command command);

} // namespace qb
