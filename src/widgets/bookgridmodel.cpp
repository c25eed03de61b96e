#include "bookgridmodel.h"

#include "platform/errorguard.h"
#include "store/bookdataset.h"
#include "store/dataerror.h"

#include <QTimer>

namespace qb {

namespace {

// A cell is one line high: line breaks show as a visible mark instead of cutting the text.
QString oneLine(QString text) {
    static const QString mark = QStringLiteral("↵");
    text.replace(QStringLiteral("\r\n"), mark);
    text.replace(QLatin1Char('\n'), mark);
    text.replace(QLatin1Char('\r'), mark);
    return text;
}

} // namespace

BookGridModel::BookGridModel(BookDataset& dataset, QObject* parent)
    : QAbstractTableModel(parent)
    , m_dataset(dataset) {
    connect(&dataset, &BookDataset::rowsReset, this, &BookGridModel::reset);
    connect(&dataset, &BookDataset::rowInserted, this, &BookGridModel::insertRow);
    connect(&dataset, &BookDataset::rowRemoved, this, &BookGridModel::removeRow);
    connect(&dataset, &BookDataset::rowChanged, this, &BookGridModel::changeRow);
    connect(&dataset, &BookDataset::currentChanged, this, &BookGridModel::moveIndicator);
    connect(&dataset, &BookDataset::stateChanged, this, &BookGridModel::moveIndicator);
    reset();
}

int BookGridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_rowCount;
}

int BookGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_titles.size());
}

QVariant BookGridModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    try {
        return oneLine(m_dataset.rowValueText(datasetRow(index.row()), index.column()));
    } catch (const DataError& error) {
        reportReadError(error.message());
        return {};
    }
}

void BookGridModel::reportReadError(const QString& message) const {
    // Views ask for values while they paint: no exception may pass there and no box may open.
    // The row shows empty and the error is shown once after the paint, not again on every
    // repaint until the book is reset.
    if (std::exchange(m_readErrorReported, true))
        return;
    QTimer::singleShot(0, this, [message] { showDefaultError(message); });
}

QVariant BookGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal)
        return m_titles.value(section);
    return section == m_indicatorRow ? indicator() : QString();
}

Qt::ItemFlags BookGridModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

int BookGridModel::datasetRow(int modelRow) const {
    if (m_pending.row < 0 || modelRow < m_pending.row)
        return modelRow;
    if (m_pending.shift > 0)
        return modelRow + 1;
    return modelRow == m_pending.row ? -1 : modelRow - 1;
}

void BookGridModel::reset() {
    beginResetModel();
    m_rowCount = m_dataset.rowCount();
    m_titles.clear();
    if (m_dataset.isActive())
        for (const Column& column : m_dataset.columns())
            m_titles << column.name;
    m_pending = {};
    m_indicatorRow = -1;
    m_readErrorReported = false;
    endResetModel();
    moveIndicator();
}

void BookGridModel::insertRow(int row) {
    m_pending = {row, +1};
    beginInsertRows(QModelIndex(), row, row);
    m_pending = {};
    ++m_rowCount;
    if (m_indicatorRow >= row)
        ++m_indicatorRow;
    endInsertRows();
}

void BookGridModel::removeRow(int row) {
    m_pending = {row, -1};
    beginRemoveRows(QModelIndex(), row, row);
    m_pending = {};
    --m_rowCount;
    if (m_indicatorRow == row)
        m_indicatorRow = -1;
    else if (m_indicatorRow > row)
        --m_indicatorRow;
    endRemoveRows();
}

void BookGridModel::changeRow(int row) {
    if (row < 0 || row >= m_rowCount || m_titles.isEmpty())
        return;
    Q_EMIT dataChanged(index(row, 0), index(row, int(m_titles.size()) - 1), {Qt::DisplayRole});
}

void BookGridModel::moveIndicator() {
    const int old = m_indicatorRow;
    const int current = m_dataset.currentRow();
    m_indicatorRow = current >= 0 && current < m_rowCount ? current : -1;
    changeIndicator(old);
    if (m_indicatorRow != old)
        changeIndicator(m_indicatorRow);
}

void BookGridModel::changeIndicator(int row) {
    if (row >= 0 && row < m_rowCount)
        Q_EMIT headerDataChanged(Qt::Vertical, row, row);
}

QString BookGridModel::indicator() const {
    switch (m_dataset.state()) {
    case DatasetState::Edit:
        return QStringLiteral("I");
    case DatasetState::Insert:
        return QStringLiteral("*");
    case DatasetState::Browse:
    case DatasetState::Inactive:
        break;
    }
    return QStringLiteral("▶");
}

} // namespace qb
