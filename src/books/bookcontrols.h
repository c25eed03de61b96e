#pragma once

#include "store/schema.h"

#include <QString>
#include <array>

class QComboBox;
class QLabel;
class QPlainTextEdit;
class QTabWidget;
class QWidget;

namespace qb {

class BookDataset;
class DBGrid;
class TLbButton;

// How one book differs from the others; everything else about the three books is shared.
struct BookTraits {
    BookId id;
    QString positionPrefix; // "联系簿当前第"
    QString countPrefix;    // "联系簿有"
    // The serials book's first and last moves report the count in the count bar's last panel.
    bool firstLastShowCount = false;
    // The serials book calls its dataset before bringing the entry page to the front.
    bool datasetBeforeEntryPage = false;
    // The contacts book's 刷新 stays enabled while a record is entered.
    bool refreshInArrangement = true;
};

const BookTraits& bookTraits(BookId id);

// What a book's command buttons do: the record commands in the order of their column, the
// four moves, and 定位.
enum class Command {
    Append,
    Insert,
    Edit,
    Delete,
    Refresh,
    Post,
    Cancel,
    First,
    Prior,
    Next,
    Last,
    Locate
};
constexpr size_t kCommandCount = size_t(Command::Locate) + 1;

// The controls of one book on the main window.
struct BookControls {
    BookDataset* dataset = nullptr;
    QWidget* bookPage = nullptr;         // the page of PageControl1
    QTabWidget* pages = nullptr;         // 大概, 录入 (, 展示)
    QTabWidget* entrySubPages = nullptr; // contacts: 个人, 家庭, 单位
    QWidget* firstField = nullptr;       // where typing starts on the entry page
    DBGrid* grid = nullptr;
    QComboBox* columnChooser = nullptr;
    QComboBox* searchBox = nullptr;
    std::array<TLbButton*, kCommandCount> buttons{};
    QLabel* positionPanel = nullptr;      // sb2, the book's panel
    QLabel* countPanel = nullptr;         // sb1, the book's panel
    QLabel* firstLastPanel = nullptr;     // sb1, the last panel (serials)
    QPlainTextEdit* detailView = nullptr; // contacts only

    TLbButton* button(Command command) const { return buttons[size_t(command)]; }
};

} // namespace qb
