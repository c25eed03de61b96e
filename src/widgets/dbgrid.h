#pragma once

#include <QTableView>

namespace qb {

class BookDataset;
class BookGridModel;

// The read-only grid of a book. Its current row is the dataset's current record; the user's
// mouse and keyboard moves move the dataset. A left-button release over a data cell moves
// the record there and raises cellClick; clicks on the titles, on the row indicator at the
// left or outside the cells raise nothing.
class DBGrid : public QTableView {
    Q_OBJECT
public:
    explicit DBGrid(QWidget* parent = nullptr);

    void setDataSource(BookDataset* dataset);
    BookDataset* dataSource() const { return m_dataset; }
    // Scrolls so that the current record stands near the middle of the visible rows.
    void centerOnCurrent();

Q_SIGNALS:
    void cellClick(int column);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    // Typing letters searches nothing: a search would read the book row by row.
    void keyboardSearch(const QString& search) override;

private:
    void setupHeaders();
    void showCurrent(ScrollHint hint = EnsureVisible);
    void followCurrentIndex();
    void indicatorClicked(int row);
    bool moveDatasetTo(int row);

    BookDataset* m_dataset = nullptr;
    BookGridModel* m_model = nullptr;
    bool m_pressedOnCell = false;
};

} // namespace qb
