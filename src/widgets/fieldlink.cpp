#include "fieldlink.h"

#include "platform/errorguard.h"
#include "store/bookdataset.h"

#include <QScopedValueRollback>
#include <QWidget>

namespace qb {

namespace {

// QLineEdit's own limit, which stands for none.
constexpr int kNoLimit = 32767;

// An open, bound control uses its inherited colours; otherwise its text and background take
// the disabled colours, though it stays enabled.
void showBoundLook(QWidget* control, bool bound) {
    control->setPalette(QPalette());
    if (bound)
        return;
    QPalette look = control->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive})
        for (QPalette::ColorRole role : {QPalette::Base, QPalette::Text, QPalette::ButtonText})
            look.setColor(group, role, look.color(QPalette::Disabled, role));
    control->setPalette(look);
}

} // namespace

FieldLink::FieldLink(QWidget* control)
    : m_control(control) {
    showBoundLook(control, m_bound);
}

void FieldLink::setDataSource(BookDataset* dataset) {
    if (m_dataset)
        disconnect(m_dataset, nullptr, this, nullptr);
    m_dataset = dataset;
    if (dataset) {
        connect(dataset, &BookDataset::currentChanged, this, &FieldLink::showData);
        connect(dataset, &BookDataset::rowsReset, this, &FieldLink::showData);
        connect(dataset, &BookDataset::rowChanged, this, &FieldLink::rowChanged);
        connect(dataset, &BookDataset::afterOpen, this, &FieldLink::activeChanged);
        connect(dataset, &BookDataset::afterClose, this, &FieldLink::activeChanged);
    }
    activeChanged();
}

void FieldLink::setDataField(const QString& column) {
    m_field = column;
    activeChanged();
}

int FieldLink::column() const {
    return m_dataset && m_dataset->isActive() ? m_dataset->columnIndex(m_field) : -1;
}

QString FieldLink::valueText() const {
    const int index = column();
    return index < 0 ? QString() : m_dataset->valueText(index);
}

int FieldLink::maxLength(const QString& shown) const {
    const int index = column();
    const int width = index < 0 ? 0 : m_dataset->columns()[index].width;
    return width > 0 ? std::max(width, int(shown.size())) : kNoLimit;
}

void FieldLink::userEdited(const QString& text) {
    if (!m_dataset)
        return;
    bool taken = false;
    {
        const QScopedValueRollback pushing(m_pushing, true);
        guarded([&] {
            // Throws the data layer's error when the dataset is closed or lacks the column.
            m_dataset->fieldByName(m_field);
            m_dataset->setFieldText(m_dataset->columnIndex(m_field), text);
            taken = true;
        });
    }
    if (!taken)
        Q_EMIT dataChanged();
}

bool FieldLink::fits(const QString& text) {
    const int index = column();
    bool fits = index < 0;
    if (!fits)
        guarded([&] {
            m_dataset->checkWidth(index, text);
            fits = true;
        });
    return fits;
}

void FieldLink::rowChanged(int row) {
    if (m_dataset && row == m_dataset->currentRow())
        showData();
}

void FieldLink::showData() {
    if (!m_pushing)
        Q_EMIT dataChanged();
}

void FieldLink::activeChanged() {
    if (const bool bound = column() >= 0; bound != m_bound) {
        m_bound = bound;
        showBoundLook(m_control, bound);
    }
    Q_EMIT dataChanged();
}

} // namespace qb
