#pragma once

#include "quickfind/quickfindengine.h"

#include <QWidget>

class QLabel;
class QLineEdit;
class QTreeWidget;
class QTreeWidgetItem;

namespace qb {

// The quick find window: one search field and the records of all three books that match
// what is typed, best first. Enter or a double click shows a record in its book.
class QuickFindWindow : public QWidget {
    Q_OBJECT
public:
    // bookNames: the books' page titles, in book order.
    QuickFindWindow(QuickFindEngine& engine, const QStringList& bookNames,
                    QWidget* parent = nullptr);

    QLineEdit* searchField() const { return m_field; }
    QTreeWidget* resultList() const { return m_results; }
    QLabel* statusLabel() const { return m_status; }

Q_SIGNALS:
    void recordChosen(qb::BookId book, qint64 rowId);
    // The list now shows what the field's text finds.
    void resultsShown(const QString& text);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showResults(const QString& text, const QVector<QuickFindHit>& hits);
    void choose(QTreeWidgetItem* item);

    QuickFindEngine& m_engine;
    QStringList m_bookNames;
    QLineEdit* m_field = nullptr;
    QTreeWidget* m_results = nullptr;
    QLabel* m_status = nullptr; // why nothing can be found, when the search failed
};

// The matched text with the match in bold, as rich text.
QString highlightedText(const QuickFindHit& hit);

} // namespace qb
