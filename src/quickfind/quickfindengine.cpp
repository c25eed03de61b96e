#include "quickfindengine.h"

#include "quickfindworker.h"
#include "store/connection.h"
#include "store/dataerror.h"
#include "store/pinyin.h"
#include "store/sqlitestatement.h"

#include <QElapsedTimer>
#include <QFile>
#include <QtEndian>
#include <algorithm>
#include <sqlite3.h>

namespace qb {

namespace {

constexpr qint64 kChangeCounterOffset = 24;

} // namespace

QuickFindEngine::QuickFindEngine(QObject* parent)
    : QObject(parent)
    , m_latest(std::make_shared<std::atomic<quint64>>(0)) {
    m_worker = new QuickFindWorker(m_latest);
    m_worker->moveToThread(&m_thread);
    connect(&m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    connect(m_worker, &QuickFindWorker::resultsReady, this,
            [this](quint64 generation, const QString& text, const QVector<QuickFindHit>& hits) {
                // Results of a search a newer key press replaced are never shown.
                if (generation == *m_latest)
                    Q_EMIT resultsReady(text, hits);
            });
    connect(m_worker, &QuickFindWorker::indexBuilt, this, &QuickFindEngine::indexBuilt);
    connect(m_worker, &QuickFindWorker::failed, this, &QuickFindEngine::failed);
    m_thread.start();
}

QuickFindEngine::~QuickFindEngine() {
    ++*m_latest;
    m_worker->stop();
    m_thread.quit();
    m_thread.wait();
}

void QuickFindEngine::setDatabase(const QString& fileName,
                                  const std::array<QuickFindBook, kBookCount>& books) {
    ++*m_latest;
    QMetaObject::invokeMethod(
        m_worker, [worker = m_worker, fileName, books] { worker->open(fileName, books); });
    Q_EMIT databaseChanged();
}

void QuickFindEngine::closeDatabase() {
    ++*m_latest;
    QMetaObject::invokeMethod(m_worker, [worker = m_worker] { worker->close(); });
    Q_EMIT databaseChanged();
}

void QuickFindEngine::search(const QString& text) {
    const quint64 generation = ++*m_latest;
    QMetaObject::invokeMethod(
        m_worker, [worker = m_worker, generation, text] { worker->search(generation, text); });
}

QuickFindWorker::QuickFindWorker(std::shared_ptr<std::atomic<quint64>> latest)
    : m_latest(std::move(latest)) {}

QuickFindWorker::~QuickFindWorker() = default;

void QuickFindWorker::open(const QString& fileName,
                           const std::array<qb::QuickFindBook, kBookCount>& books) {
    // The same file again (the window reopened) keeps its index while the file is unchanged.
    if (fileName != m_fileName)
        close();
    m_fileName = fileName;
    m_books = books;
    try {
        const ReadConnection connection(*this);
        buildIfStale();
    } catch (const DataError& error) {
        Q_EMIT failed(error.message());
    }
}

void QuickFindWorker::close() {
    forgetIndex();
    m_fileName.clear();
}

void QuickFindWorker::forgetIndex() {
    for (auto& index : m_indexes)
        index.reset();
    m_lastPlaces = {};
    m_indexedVersion = -1;
}

// The file is open only while the worker reads it: between searches the main window's
// connection is the only one, as when quick find is not used.
QuickFindWorker::ReadConnection::ReadConnection(QuickFindWorker& worker)
    : m_worker(worker)
    , m_connection(worker.m_fileName, kBusyTimeoutMs) {
    worker.m_db = m_connection.handle();
}

QuickFindWorker::ReadConnection::~ReadConnection() {
    m_worker.m_db = nullptr;
}

qint64 QuickFindWorker::changeCounter() const {
    // The file change counter in the header goes up with every committed write (the books
    // keep a rollback journal), whichever connection made it.
    QFile file(m_fileName);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(kChangeCounterOffset))
        return -1;
    const QByteArray counter = file.read(4);
    return counter.size() == 4 ? qFromBigEndian<quint32>(counter.constData()) : -1;
}

void QuickFindWorker::buildIfStale() {
    const qint64 version = changeCounter();
    if (version >= 0 && version == m_indexedVersion)
        return;
    // The old index goes first: holding it beside the new one would take a big book's memory
    // and temporary files twice. Until the new one is whole, none counts as built.
    forgetIndex();
    QElapsedTimer timer;
    timer.start();
    qint64 bytes = 0;
    qint64 fileBytes = 0;
    for (BookId id : allBooks()) {
        const QuickFindBook& book = m_books[size_t(id)];
        m_indexes[size_t(id)] =
            BookIndex::build(m_db, book.table, book.keyColumn, [this] { return bool(m_stopping); });
        if (!m_indexes[size_t(id)])
            return;
        bytes += m_indexes[size_t(id)]->memoryBytes();
        fileBytes += m_indexes[size_t(id)]->fileBytes();
    }
    m_indexedVersion = version;
    Q_EMIT indexBuilt(double(timer.nsecsElapsed()) / 1e9, bytes, fileBytes);
}

void QuickFindWorker::search(quint64 generation, const QString& text) {
    if (generation != *m_latest || m_fileName.isEmpty())
        return;
    try {
        const ReadConnection connection(*this);
        buildIfStale();
        if (m_stopping)
            return;
        const MatchQuery query(text);
        QVector<QuickFindHit> hits;
        for (const Candidate& candidate : bestCandidates(query, generation))
            if (!candidate.values.isEmpty()) // deleted while the search ran
                hits << describe(candidate, query);
        if (generation == *m_latest)
            Q_EMIT resultsReady(generation, text, hits);
    } catch (const DataError& error) {
        Q_EMIT failed(error.message());
    }
}

std::vector<QuickFindWorker::Candidate> QuickFindWorker::bestCandidates(const MatchQuery& query,
                                                                        quint64 generation) {
    const auto cancelled = [this, generation] { return generation != *m_latest; };
    const size_t limit = QuickFindEngine::kResultLimit;
    const bool narrows = !m_lastFolded.isEmpty() && query.folded().startsWith(m_lastFolded);
    std::vector<Candidate> candidates;
    for (BookId id : allBooks()) {
        BookIndex::Places& places = m_lastPlaces[size_t(id)];
        BookIndex::Places found;
        for (const BookIndex::Hit& hit : m_indexes[size_t(id)]->find(
                 query, limit, cancelled, narrows ? &places : nullptr, found))
            candidates.push_back({id, hit, {}, {}});
        places = std::move(found);
    }
    m_lastFolded = query.folded();
    // Across books the keys themselves are compared in pinyin order.
    std::array<std::unique_ptr<SqliteStatement>, kBookCount> reads; // one per book, not per record
    for (Candidate& candidate : candidates) {
        std::unique_ptr<SqliteStatement>& read = reads[size_t(candidate.book)];
        if (!read)
            read = std::make_unique<SqliteStatement>(
                m_db, QStringLiteral("SELECT * FROM %1 WHERE rowid = ?1")
                          .arg(quotedIdentifier(m_books[size_t(candidate.book)].table)));
        candidate.values =
            readRecord(*read, m_indexes[size_t(candidate.book)]->rowId(candidate.hit.record));
        const QString key = candidate.values.value(m_indexes[size_t(candidate.book)]->keyColumn());
        candidate.sortKey = pinyinSortKey(key) + QChar(0) + key;
    }
    std::stable_sort(
        candidates.begin(), candidates.end(), [](const Candidate& a, const Candidate& b) {
            return a.hit.rank != b.hit.rank ? a.hit.rank < b.hit.rank : a.sortKey < b.sortKey;
        });
    if (candidates.size() > limit)
        candidates.resize(limit);
    return candidates;
}

QStringList QuickFindWorker::readRecord(SqliteStatement& row, qint64 rowId) {
    row.bindInt64(1, rowId);
    QStringList values;
    if (row.step())
        for (int c = 0; c < row.columnCount(); ++c)
            values << row.text(c);
    row.reset();
    return values;
}

QuickFindHit QuickFindWorker::describe(const Candidate& candidate, const MatchQuery& query) const {
    const BookIndex& index = *m_indexes[size_t(candidate.book)];
    QuickFindHit hit;
    hit.book = candidate.book;
    hit.rowId = index.rowId(candidate.hit.record);
    hit.key = candidate.values.value(index.keyColumn());
    const int column = index.columnOf(candidate.hit);
    hit.column = index.columnNames().value(column);
    hit.text = candidate.values.value(column);
    const TextMatch match = query.match(foldText(hit.text));
    hit.matchStart = int(std::max<qsizetype>(match.start, 0));
    hit.matchLength = int(match.length);
    return hit;
}

} // namespace qb
