#pragma once

#include "store/bookdataset.h"

#include <QPointer>
#include <QString>

class QWidget;

namespace qb {

// Ties one entry control to one column of a book dataset. It tells the control when the
// value to show may have changed, carries the user's typing to the dataset, and gives the
// control a disabled look (while leaving it enabled) when no open dataset backs it.
class FieldLink : public QObject {
    Q_OBJECT
public:
    explicit FieldLink(QWidget* control);

    void setDataSource(BookDataset* dataset);
    BookDataset* dataSource() const { return m_dataset; }
    void setDataField(const QString& column);
    const QString& dataField() const { return m_field; }

    // The current record's value text of the column; empty while the dataset is closed.
    QString valueText() const;
    // The most characters a single-line control may hold: the column's width, but never
    // less than the value shown, so that showing a value never cuts it; a column without a
    // width sets no limit.
    int maxLength(const QString& shown) const;
    // The user changed the text: the dataset starts editing and takes it. A failure shows
    // the error box and has the control show the dataset's value again.
    void userEdited(const QString& text);
    // Whether the column can hold the text; when it cannot, the error box says so.
    bool fits(const QString& text);

Q_SIGNALS:
    // The control should show valueText() again.
    void dataChanged();

private:
    int column() const;
    void rowChanged(int row);
    void showData();
    void activeChanged();

    QWidget* m_control;
    QPointer<BookDataset> m_dataset;
    QString m_field;
    // While the user's text goes to the dataset, the control already shows it; reloading
    // then would only move the cursor.
    bool m_pushing = false;
    bool m_bound = false;
};

} // namespace qb
