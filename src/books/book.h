#pragma once

#include "bookcontrols.h"

#include <QObject>
#include <QStringList>

namespace qb {

enum class Move { First, Prior, Next, Last };

// The behaviour of one book on the main window: its record commands and button arrangements,
// moves and status texts, Detail view, locate and search history. The three books are three
// instances that differ only by their traits and controls.
class Book : public QObject {
    Q_OBJECT
public:
    // The controls belong to the book's page and outlive the book.
    Book(const BookTraits& traits, const BookControls& controls, QObject* parent = nullptr);

    void SetBrowseMode(bool browsing);
    // What the command's button does.
    void run(Command command);
    // 添加, 插入, 修改: editing arrangement, entry page, then the dataset.
    void appendRecord();
    void insertRecord();
    void editRecord();
    void deleteRecord();
    void refreshRecords();
    void postRecord();
    void cancelRecord();
    void move(Move move);
    // Ends entering or editing as a move does (a changed record is posted, an unchanged one
    // cancelled) and shows the browse arrangement. A refused post throws and keeps both.
    void leaveEditing();
    bool isEditing() const;
    void cellClick();
    void locate();

    QStringList searchHistory() const;
    void setSearchHistory(const QStringList& entries);

private:
    enum class EntryCommand { Append, Insert, Edit };
    void startEntry(EntryCommand command);
    void showOverviewPage();
    void showPositionText();
    void afterRefresh();
    void afterOpen();
    void fillDetailView();

    const BookTraits& m_traits;
    const BookControls& m_controls;
};

// The text that states a position or a count: prefix, number, "条记录".
QString statusText(const QString& prefix, int number);
// The Detail view's text: every column as name, ":", value text, CR LF; then one more CR LF.
QString detailText(const BookDataset& dataset);

} // namespace qb
