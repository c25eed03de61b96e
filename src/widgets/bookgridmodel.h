#pragma once

#include <QAbstractTableModel>
#include <QStringList>

namespace qb {

class BookDataset;

// A book dataset as a read-only table: one row per grid row of the dataset (a record being
// inserted included), one column per table column, titled with the column names. Values are
// read only when a view asks for them, so a book of any size shows at once. The vertical
// header is the row indicator: it marks the current record and its editing state.
class BookGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit BookGridModel(BookDataset& dataset, QObject* parent = nullptr);

    BookDataset& dataset() const { return m_dataset; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    // The dataset tells of a row only after it has changed its rows, while views must be told
    // before and after. Between the two, model rows map around that row.
    struct PendingRow {
        int row = -1;
        int shift = 0; // +1: inserted in the dataset, -1: removed from it
    };

    void reset();
    void insertRow(int row);
    void removeRow(int row);
    void changeRow(int row);
    void moveIndicator();
    void changeIndicator(int row);
    int datasetRow(int modelRow) const;
    QString indicator() const;
    // A row that cannot be read (a damaged file, another program holding it too long).
    void reportReadError(const QString& message) const;

    BookDataset& m_dataset;
    int m_rowCount = 0;
    QStringList m_titles;
    PendingRow m_pending;
    int m_indicatorRow = -1;
    mutable bool m_readErrorReported = false;
};

} // namespace qb
