#pragma once

#include "store/schema.h"

#include <QObject>
#include <QString>
#include <QThread>
#include <QVector>
#include <array>
#include <atomic>
#include <memory>

namespace qb {

// One record found, ready to show.
struct QuickFindHit {
    BookId book = BookId::Contacts;
    qint64 rowId = 0;
    QString key;
    QString column; // the column that matched
    QString text;   // its value
    int matchStart = 0;
    int matchLength = 0;
};

// What the search needs to know of a book: its table and key column.
struct QuickFindBook {
    QString table;
    QString keyColumn;
};

class QuickFindWorker;

// Quick find over the three books of one database file. The index is built and every search
// runs on a thread of its own, so typing never waits; a newer search makes an older one stop
// and its results are never delivered. The index is rebuilt when the file has changed since
// it was read, so records added, changed or deleted are found or gone.
class QuickFindEngine : public QObject {
    Q_OBJECT
public:
    // Results shown at most: the best ones, the rest are left out.
    static constexpr int kResultLimit = 100;

    explicit QuickFindEngine(QObject* parent = nullptr);
    ~QuickFindEngine() override;

    // Starts building the index of the file's books in the background.
    void setDatabase(const QString& fileName, const std::array<QuickFindBook, kBookCount>& books);
    void closeDatabase();
    void search(const QString& text);

Q_SIGNALS:
    void resultsReady(const QString& text, const QVector<qb::QuickFindHit>& hits);
    // The index holds every book: how long it took and the bytes it holds in memory and in its
    // temporary files.
    void indexBuilt(double seconds, qint64 bytes, qint64 fileBytes);
    void failed(const QString& message);
    // Results shown so far belong to another file, or to none.
    void databaseChanged();

private:
    QThread m_thread;
    QuickFindWorker* m_worker = nullptr;
    std::shared_ptr<std::atomic<quint64>> m_latest;
};

} // namespace qb

Q_DECLARE_METATYPE(qb::QuickFindHit)
