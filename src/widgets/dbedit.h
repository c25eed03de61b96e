#pragma once

#include "fieldlink.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>

namespace qb {

// The data-aware entry controls. Each shows one column of its dataset's current record and
// follows the record as it moves or changes; what the user types goes to the dataset, which
// starts editing by itself. Whatever the control shows is what the record holds, however
// the text got there; loading a value never counts as an edit.

// What every data-aware control offers: the dataset and column it is bound to.
class DataAware {
public:
    void setDataSource(BookDataset* dataset) { m_link.setDataSource(dataset); }
    BookDataset* dataSource() const { return m_link.dataSource(); }
    void setDataField(const QString& column) { m_link.setDataField(column); }
    const QString& dataField() const { return m_link.dataField(); }

protected:
    explicit DataAware(QWidget* control)
        : m_link(control) {}
    ~DataAware() = default;

    FieldLink m_link;
};

// A single-line entry that takes at most as many characters as its column holds.
class DBEdit : public QLineEdit, public DataAware {
    Q_OBJECT
public:
    explicit DBEdit(QWidget* parent = nullptr);

private:
    void showValue();
    void takeTypedText(const QString& typed);

    bool m_loading = false;
};

// A multi-line entry without a limit of its own. A value is handed back only after the user
// changed it, so an untouched value keeps its exact line breaks; an edited one gets the line
// breaks it had (CR LF unless it used bare LF).
class DBMemo : public QPlainTextEdit, public DataAware {
    Q_OBJECT
public:
    explicit DBMemo(QWidget* parent = nullptr);

protected:
    // A paste the column cannot hold is refused with the data layer's error before it reaches
    // the editor, which takes seconds to lay out a few megabytes.
    void insertFromMimeData(const QMimeData* source) override;

private:
    void showValue();
    void textEdited();

    QString m_value;     // the value the text stands for
    QString m_lineBreak; // how that value breaks its lines
    bool m_loading = false;
};

// An editable drop-down: the user picks "男" or "女" or types any other text.
class DBComboBox : public QComboBox, public DataAware {
    Q_OBJECT
public:
    explicit DBComboBox(QWidget* parent = nullptr);

private:
    void showValue();

    bool m_loading = false;
};

} // namespace qb
