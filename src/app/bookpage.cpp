#include "bookpage.h"

#include "store/bookdataset.h"
#include "widgets/dbedit.h"
#include "widgets/dbgrid.h"
#include "widgets/lbbutton.h"

#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace qb {

namespace {

// Entry tab geometry: a label column, then the field; a second field of a row to the right.
constexpr int kTop = 10;
constexpr int kRowHeight = 26;
constexpr int kLabelLeft = 6;
constexpr int kLabelWidth = 64;
constexpr int kLabelGap = 4;
constexpr int kFieldLeft = kLabelLeft + kLabelWidth + kLabelGap;
constexpr int kFieldWidth = 200;
constexpr int kPairFieldWidth = 100;
constexpr int kSecondLabelLeft = kFieldLeft + kPairFieldWidth + 8;
constexpr int kSecondLabelWidth = kLabelWidth / 2 + 4;
constexpr int kFieldHeight = 20;
constexpr int kGridHeight = 250;

QLabel* addLabel(QWidget* parent, const QString& text, QPoint at, int width) {
    auto* label = new QLabel(text, parent);
    label->setGeometry(at.x(), at.y(), width, kFieldHeight);
    return label;
}

QWidget* makeField(const EntryField& field, QWidget* parent) {
    QWidget* widget = nullptr;
    switch (field.kind) {
    case EntryKind::Line:
        widget = new DBEdit(parent);
        break;
    case EntryKind::Memo: {
        auto* memo = new DBMemo(parent);
        memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        widget = memo;
        break;
    }
    case EntryKind::Sex:
        widget = new DBComboBox(parent);
        break;
    }
    widget->setObjectName(field.control);
    widget->setAccessibleName(field.label);
    return widget;
}

void layoutEntryTab(const EntryTab& tab, QWidget* page, BookPage& out) {
    int y = kTop;
    for (const EntryRow& row : tab.rows) {
        const bool pair = row.fields.size() == 2;
        int rowHeight = kRowHeight;
        int rowRight = 0; // where the row's last field ends
        for (size_t i = 0; i < row.fields.size(); ++i) {
            const EntryField& field = row.fields[i];
            const int labelLeft = i == 0 ? kLabelLeft : std::max(kSecondLabelLeft, rowRight + 8);
            QLabel* label = addLabel(page, field.label, {labelLeft, y + 2},
                                     i == 0 ? kLabelWidth : kSecondLabelWidth);
            // A label wider in this platform's font than designed pushes its field right.
            label->resize(std::max(label->width(), label->sizeHint().width()), label->height());
            const int fieldLeft = labelLeft + label->width() + kLabelGap;
            QWidget* widget = makeField(field, page);
            label->setBuddy(widget);
            const QSize size = field.kind == EntryKind::Memo
                                   ? field.memoSize
                                   : QSize(pair ? kPairFieldWidth : kFieldWidth, kFieldHeight);
            widget->setGeometry(fieldLeft, y, size.width(), size.height());
            rowRight = fieldLeft + size.width();
            rowHeight = std::max(rowHeight, size.height() + 6);
            out.fields.insert(field.control, widget);
            if (!out.controls.firstField)
                out.controls.firstField = widget;
            if (!field.linkButton.isEmpty()) {
                auto* link = new QToolButton(page);
                link->setObjectName(field.linkButton);
                link->setGeometry(fieldLeft + size.width() + 4, y + 1, 45, 18);
                // Tab goes from a field to the next field; the link is for the mouse.
                link->setFocusPolicy(Qt::NoFocus);
                out.linkButtons.insert(field.linkButton, link);
            }
        }
        y += rowHeight;
    }
}

// A book page whose inner page control is aligned to its left edge: full height, own width.
class BookPageWidget : public QWidget {
public:
    using QWidget::QWidget;
    QWidget* leftAligned = nullptr;

protected:
    void resizeEvent(QResizeEvent* event) override {
        QWidget::resizeEvent(event);
        if (leftAligned)
            leftAligned->resize(leftAligned->width(), height());
    }
};

QWidget* addTab(QTabWidget* tabs, const QString& name, const QString& title) {
    auto* page = new QWidget;
    page->setObjectName(name);
    tabs->addTab(page, title);
    return page;
}

void buildSearchBar(const BookLayout& layout, QWidget* page, BookPage& out) {
    const SearchBarLayout& bar = layout.searchBar;
    auto* chooser = new QComboBox(page);
    chooser->setObjectName(layout.chooserName);
    chooser->setGeometry(bar.columnChooser);
    chooser->setAccessibleName(QStringLiteral("字段"));
    auto* search = new QComboBox(page);
    search->setObjectName(layout.searchName);
    search->setEditable(true);
    // Only 定位 searches; Enter must not add entries of its own.
    search->setInsertPolicy(QComboBox::NoInsert);
    // 定位 searches exactly what was typed: the history is offered in the drop-down only,
    // never completed into the text (which would also change its letter case).
    search->setCompleter(nullptr);
    search->setGeometry(bar.searchBox);
    search->setAccessibleName(QStringLiteral("要找的内容"));
    addLabel(page, QStringLiteral("字段"), {5, 256}, 60)->setBuddy(chooser);
    addLabel(page, QStringLiteral("要找的内容"), {162, 257}, 100)->setBuddy(search);
    auto* locate = new TLbButton(page);
    locate->setObjectName(bar.locateName);
    locate->setText(commandCaption(Command::Locate));
    locate->setGeometry(QRect(bar.locateButton, QSize(70, 23)));
    out.controls.columnChooser = chooser;
    out.controls.searchBox = search;
    out.controls.buttons[size_t(Command::Locate)] = locate;
}

void buildCommandButtons(const BookLayout& layout, QWidget* page, BookPage& out) {
    for (const CommandButtonLayout& b : layout.buttons) {
        auto* button = new TLbButton(page);
        button->setObjectName(b.name);
        button->setText(commandCaption(b.command));
        button->setGeometry(b.designed);
        out.controls.buttons[size_t(b.command)] = button;
    }
}

} // namespace

BookPage buildBookPage(const BookLayout& layout, QTabWidget* pageControl1) {
    BookPage out;
    auto* page = new BookPageWidget;
    page->setObjectName(layout.pageName);
    pageControl1->addTab(page, layout.pageTitle);
    out.controls.bookPage = page;

    auto* inner = new QTabWidget(page);
    inner->setObjectName(layout.innerPagesName);
    inner->setGeometry(0, 0, layout.innerWidth, page->height());
    page->leftAligned = inner;
    out.controls.pages = inner;

    QWidget* overview = addTab(inner, QString(), QStringLiteral("大概"));
    auto* grid = new DBGrid(overview);
    grid->setObjectName(layout.gridName);
    grid->setGeometry(0, 0, layout.innerWidth - 8, kGridHeight);
    out.controls.grid = grid;
    buildSearchBar(layout, overview, out);

    QWidget* entry = addTab(inner, QString(), QStringLiteral("录入"));
    if (layout.entryTabs.size() > 1) {
        auto* sub = new QTabWidget(entry);
        sub->setObjectName(QStringLiteral("PageControl3"));
        for (const EntryTab& tab : layout.entryTabs)
            layoutEntryTab(tab, addTab(sub, QString(), tab.title), out);
        out.controls.entrySubPages = sub;
        auto* fill = new QVBoxLayout(entry);
        fill->setContentsMargins(0, 0, 0, 0);
        fill->addWidget(sub);
    } else {
        layoutEntryTab(layout.entryTabs.front(), entry, out);
    }

    if (layout.hasDetailPage) {
        QWidget* detail = addTab(inner, QString(), QStringLiteral("展示"));
        auto* view = new QPlainTextEdit(detail);
        view->setObjectName(QStringLiteral("Lianxi1Zhanshi"));
        view->setReadOnly(true);
        view->setAccessibleName(QStringLiteral("展示"));
        auto* fill = new QVBoxLayout(detail);
        fill->setContentsMargins(0, 0, 0, 0);
        fill->addWidget(view);
        out.controls.detailView = view;
    }
    buildCommandButtons(layout, page, out);
    return out;
}

namespace {

template <typename Visit> void forEachField(const BookLayout& layout, Visit&& visit) {
    for (const EntryTab& tab : layout.entryTabs)
        for (const EntryRow& row : tab.rows)
            for (const EntryField& field : row.fields)
                visit(field);
}

} // namespace

QStringList boundColumns(const BookLayout& layout) {
    QStringList columns;
    forEachField(layout, [&](const EntryField& field) { columns << field.column; });
    return columns;
}

void bindBookPage(const BookLayout& layout, const BookPage& page) {
    BookDataset& dataset = *page.controls.dataset;
    page.controls.grid->setDataSource(&dataset);
    forEachField(layout, [&](const EntryField& field) {
        auto* control = dynamic_cast<DataAware*>(page.fields.value(field.control));
        control->setDataSource(&dataset);
        control->setDataField(field.column);
    });
    dataset.setRequiredColumns(boundColumns(layout));
}

} // namespace qb
