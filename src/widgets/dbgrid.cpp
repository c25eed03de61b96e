#include "dbgrid.h"

#include "bookgridmodel.h"
#include "platform/errorguard.h"
#include "store/bookdataset.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>

namespace qb {

namespace {

// The row indicator column only has to hold its one mark.
constexpr int kIndicatorWidth = 16;
// Room above and below a line of text in a row.
constexpr int kRowPadding = 6;

} // namespace

DBGrid::DBGrid(QWidget* parent)
    : QTableView(parent) {
    setEditTriggers(NoEditTriggers);
    setSelectionBehavior(SelectRows);
    setSelectionMode(SingleSelection);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    // Tab moves on to the next control, as everywhere else in the window, rather than
    // walking the columns.
    setTabKeyNavigation(false);
    setupHeaders();
}

void DBGrid::setupHeaders() {
    // Every row has the same fixed height, and nothing is sized to its contents: sizing to
    // contents would read every record of the book.
    QHeaderView* rows = verticalHeader();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setMinimumSectionSize(0);
    rows->setDefaultSectionSize(fontMetrics().height() + kRowPadding);
    rows->setFixedWidth(kIndicatorWidth);
    rows->setDefaultAlignment(Qt::AlignCenter);
    connect(rows, &QHeaderView::sectionClicked, this, &DBGrid::indicatorClicked);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setSectionsClickable(false);
}

void DBGrid::setDataSource(BookDataset* dataset) {
    if (m_dataset)
        disconnect(m_dataset, nullptr, this, nullptr);
    BookGridModel* old = m_model;
    m_dataset = dataset;
    // The model connects to the dataset first, so it has taken a change in before the grid
    // selects the current row.
    m_model = dataset ? new BookGridModel(*dataset, this) : nullptr;
    setModel(m_model);
    delete old;
    if (!dataset)
        return;
    connect(dataset, &BookDataset::currentChanged, this, [this] { showCurrent(); });
    connect(dataset, &QObject::destroyed, this, [this] { setDataSource(nullptr); });
    showCurrent();
}

void DBGrid::centerOnCurrent() {
    // Only the rows move; the columns stay scrolled as the user left them.
    const int column = horizontalScrollBar()->value();
    showCurrent(PositionAtCenter);
    horizontalScrollBar()->setValue(column);
}

void DBGrid::showCurrent(ScrollHint hint) {
    if (!m_model)
        return;
    const int row = m_dataset->currentRow();
    if (row < 0 || row >= m_model->rowCount() || m_model->columnCount() == 0) {
        selectionModel()->clear();
        return;
    }
    const QModelIndex current = m_model->index(row, std::max(currentIndex().column(), 0));
    selectionModel()->setCurrentIndex(current, QItemSelectionModel::ClearAndSelect |
                                                   QItemSelectionModel::Rows);
    scrollTo(current, hint);
}

bool DBGrid::moveDatasetTo(int row) {
    bool moved = false;
    // Leaving a changed record posts it first, which can fail; the record then stays.
    guarded([&] {
        m_dataset->moveTo(row);
        moved = true;
    });
    return moved;
}

void DBGrid::followCurrentIndex() {
    const QModelIndex index = currentIndex();
    if (m_dataset && index.isValid() && index.row() != m_dataset->currentRow())
        moveDatasetTo(index.row());
    // Also puts the selection back when the move failed.
    showCurrent();
}

void DBGrid::indicatorClicked(int row) {
    if (m_dataset)
        moveDatasetTo(row);
    showCurrent();
}

void DBGrid::mousePressEvent(QMouseEvent* event) {
    m_pressedOnCell =
        event->button() == Qt::LeftButton && indexAt(event->position().toPoint()).isValid();
    QTableView::mousePressEvent(event);
}

void DBGrid::mouseReleaseEvent(QMouseEvent* event) {
    QTableView::mouseReleaseEvent(event);
    const QModelIndex cell = indexAt(event->position().toPoint());
    const bool click = event->button() == Qt::LeftButton && m_pressedOnCell && cell.isValid();
    m_pressedOnCell = false;
    if (click && moveDatasetTo(cell.row()))
        Q_EMIT cellClick(cell.column());
    showCurrent();
}

void DBGrid::keyPressEvent(QKeyEvent* event) {
    QTableView::keyPressEvent(event);
    followCurrentIndex();
}

void DBGrid::keyboardSearch(const QString& /*search*/) {}

} // namespace qb
