#pragma once

#include "quickfindengine.h"
#include "quickfindindex.h"

#include "store/connection.h"

#include <optional>

struct sqlite3;

namespace qb {

class SqliteStatement;

// The engine's other half, living on its thread: the index, its own read-only connection to
// the file and the searches.
class QuickFindWorker : public QObject {
    Q_OBJECT
public:
    explicit QuickFindWorker(std::shared_ptr<std::atomic<quint64>> latest);
    ~QuickFindWorker() override;

    void open(const QString& fileName, const std::array<qb::QuickFindBook, kBookCount>& books);
    void close();
    void search(quint64 generation, const QString& text);
    // Called from another thread: an index being built is given up.
    void stop() { m_stopping = true; }

Q_SIGNALS:
    void resultsReady(quint64 generation, const QString& text,
                      const QVector<qb::QuickFindHit>& hits);
    void indexBuilt(double seconds, qint64 bytes, qint64 fileBytes);
    void failed(const QString& message);

private:
    struct Candidate {
        BookId book;
        BookIndex::Hit hit;
        QString sortKey;
        QStringList values; // the record's column texts as stored
    };
    // Opens the file for one piece of work and closes it after.
    class ReadConnection {
    public:
        explicit ReadConnection(QuickFindWorker& worker);
        ~ReadConnection();
        ReadConnection(const ReadConnection&) = delete;
        ReadConnection& operator=(const ReadConnection&) = delete;

    private:
        QuickFindWorker& m_worker;
        ReadOnlyConnection m_connection;
    };

    void buildIfStale();
    void forgetIndex();
    qint64 changeCounter() const;
    std::vector<Candidate> bestCandidates(const MatchQuery& query, quint64 generation);
    // The column texts of one record; empty when it is gone.
    static QStringList readRecord(SqliteStatement& row, qint64 rowId);
    QuickFindHit describe(const Candidate& candidate, const MatchQuery& query) const;

    std::shared_ptr<std::atomic<quint64>> m_latest;
    std::atomic<bool> m_stopping = false;
    QString m_fileName;
    sqlite3* m_db = nullptr; // open while a ReadConnection lives
    std::array<QuickFindBook, kBookCount> m_books;
    std::array<std::optional<BookIndex>, kBookCount> m_indexes;
    // The last search that ran to its end, and where it matched in each book.
    QString m_lastFolded;
    std::array<BookIndex::Places, kBookCount> m_lastPlaces;
    qint64 m_indexedVersion = -1;
};

} // namespace qb
