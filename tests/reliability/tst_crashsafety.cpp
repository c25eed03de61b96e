// Records survive a killed program, and two programs can share one database file. The other
// program is this test run again with --other-program, so it is a process of its own; it also
// opens hostile and huge files, so that their memory is its own.
#include "badfiles.h"
#include "books.h"
#include "quickfind/quickfindengine.h"
#include "store/dataerror.h"
#include "tables.h"
#include "testfiles.h"

#include <QCoreApplication>
#include <QProcess>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <csignal>
#include <cstdio>

using namespace qb;
using namespace Qt::StringLiterals;
using test::cell;

namespace {

void say(const QString& line) {
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

// "index <file>" builds quick find's index of the file, prints "indexed" and waits to be killed.
// "post <file> <prefix> <count>" (-1: until killed) prints each key once its post returned;
// the notes are long enough that a post changes several pages. "open <file>" reads every record
// of every book as the window does, then prints "opened" or the error and the peak memory in KiB.
void otherProgram(const QStringList& args) {
    RecordStore store;
    if (args[0] == u"index"_s) {
        QuickFindEngine engine;
        QObject::connect(&engine, &QuickFindEngine::indexBuilt, [] { say(u"indexed"_s); });
        std::array<QuickFindBook, kBookCount> books;
        for (BookId id : allBooks())
            books[size_t(id)] = {tableSchema(id).tableName, tableSchema(id).columnNames.front()};
        engine.setDatabase(args[1], books);
        QCoreApplication::exec();
    } else if (args[0] == u"open"_s) {
        for (BookId id : allBooks())
            store.book(id).setRequiredColumns(tableSchema(id).columnNames);
        try {
            store.openDatabase(args[1]);
            for (BookId id : allBooks()) {
                BookDataset& b = store.book(id);
                for (b.first(); !b.eof(); b.next())
                    for (int c = 0; c < b.columns().size(); ++c)
                        b.valueText(c);
            }
            say(u"opened"_s);
        } catch (const DataError& error) {
            say(error.message());
        }
        // This program's own peak: getrusage() would count the test's memory at the fork.
        const QString status = QString::fromLatin1(test::readBytes(u"/proc/self/status"_s));
        say(status.section(u"VmHWM:"_s, 1).simplified().section(u' ', 0, 0));
    } else {
        store.openDatabase(args[1]);
        BookDataset& contacts = store.book(BookId::Contacts);
        for (int n = 0; n != args[3].toInt(); ++n) {
            contacts.append();
            contacts.setFieldText(0, args[2] + QString::number(n));
            contacts.setFieldText(contacts.columnIndex(u"备注"_s), QString(200 + n % 55, u'记'));
            contacts.post();
            say(args[2] + QString::number(n));
        }
    }
}

// Started, or with `wait` ended: the lines it printed.
QStringList runOther(QProcess& other, const QStringList& args, bool wait = false) {
    other.start(QCoreApplication::applicationFilePath(), QStringList{u"--other-program"_s} + args);
    if (!other.waitForStarted() || !wait || !other.waitForFinished(10000))
        return {};
    QStringList lines = QString::fromUtf8(other.readAllStandardOutput()).split(u'\n');
    lines.removeLast();
    return lines;
}

} // namespace

class TestCrashSafety : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_file;

private Q_SLOTS:
    void init() {
        QFile::remove(m_dir.filePath(u"book.mdb"_s));
        m_file = test::createBookFile(m_dir.path());
    }

    // Killed at random moments (a quarter of them while it starts and opens the file), the
    // other program loses no record it reported and the file stays whole. QB_CRASH_KILLS=200
    // for the long run.
    void killedWhilePostingLosesNothing() {
        const quint32 seed = QRandomGenerator::global()->generate();
        qInfo("seed %u", seed);
        QRandomGenerator random(seed);
        QSet<QString> posted, cutShort; // cut short: stored, maybe unprinted
        for (int run = 0; run < qEnvironmentVariableIntValue("QB_CRASH_KILLS") + 5; ++run) {
            QProcess poster;
            const QString prefix = u"联系人%1-"_s.arg(run);
            runOther(poster, {u"post"_s, m_file, prefix, u"-1"_s});
            QThread::msleep(random.bounded(4) ? 40 + random.bounded(260) : random.bounded(40));
            ::kill(pid_t(poster.processId()), SIGKILL);
            QVERIFY(poster.waitForFinished(10000));
            QVERIFY2(poster.exitStatus() == QProcess::CrashExit,
                     poster.readAllStandardError().constData());
            QStringList lines = QString::fromUtf8(poster.readAllStandardOutput()).split(u'\n');
            cutShort.insert(prefix + QString::number(lines.size() - 1));
            posted.unite(QSet<QString>(lines.begin(), lines.end() - 1));
            QCOMPARE(test::runSql(m_file, u"PRAGMA integrity_check"_s), QStringList{u"ok"_s});
            const QStringList stored = test::runSql(m_file, u"SELECT 姓名 FROM lianxi1"_s);
            const QSet<QString> keys(stored.begin(), stored.end());
            QVERIFY((posted - keys).isEmpty());
            QVERIFY(cutShort.contains(keys - posted));
        }
        // A journal the last kill left is gone after the next post.
        RecordStore store;
        store.openDatabase(m_file);
        test::addRecord(store.book(BookId::Contacts), {u"之后"_s});
        QVERIFY(!QFile::exists(m_file + u"-journal"_s));
    }

    // Both post at once, record after record: neither is told the database is locked.
    void bothProgramsPostAtOnce() {
        RecordStore store;
        store.openDatabase(m_file);
        QProcess other;
        runOther(other, {u"post"_s, m_file, u"外"_s, u"150"_s});
        for (int mine = 0; mine < 150; ++mine) {
            test::addRecord(store.book(BookId::Serials), {u"内%1"_s.arg(mine)});
            if (mine % 10 == 0)
                store.book(BookId::Serials).refresh();
        }
        QVERIFY(other.waitForFinished(10000));
        QCOMPARE(other.readAllStandardError() + QByteArray::number(other.exitCode()), "0"_ba);
        QCOMPARE(test::runSql(m_file, u"SELECT count(*) FROM lianxi1 UNION ALL "
                                      "SELECT count(*) FROM xuliehao1"_s),
                 (QStringList{u"150"_s, u"150"_s}));
    }

    // Quick find's temporary files of a killed program are removed by the next program that
    // builds an index; a running program's are kept.
    void killedProgramsIndexFilesGo() {
        QTemporaryDir tmp;
        const auto files = [&tmp] { return QDir(tmp.path()).entryList(QDir::Files).size(); };
        const auto restoreTmp = qScopeGuard([was = qgetenv("TMPDIR")] { qputenv("TMPDIR", was); });
        qputenv("TMPDIR", QFile::encodeName(tmp.path()));
        QProcess programs[3];
        const auto indexed = [&](QProcess& program) {
            runOther(program, {u"index"_s, m_file});
            return program.waitForReadyRead(20000) && program.readAll() == "indexed\n";
        };
        QVERIFY(indexed(programs[0]));
        QCOMPARE(files(), 6); // a file and its lock for each book
        programs[0].kill();
        QVERIFY(programs[0].waitForFinished(10000));
        QCOMPARE(files(), 6);
        QVERIFY(indexed(programs[1]));
        QCOMPARE(files(), 6);
        QVERIFY(indexed(programs[2]));
        QCOMPARE(files(), 12);
        for (QProcess& program : programs) {
            program.kill();
            program.waitForFinished(10000);
        }
    }

    // Every bad file is refused, and one with values of 10 MB opens, within a bound of memory
    // and without hanging.
    void badAndHugeFilesStayBounded_data() {
        test::addTableRows(u"reliability/badfiles.txt"_s, {"error", "how", "what"});
        // The key index is whole, so the book opens; reading the last records fails.
        QTest::newRow("damaged last records page")
            << u"database disk image is malformed"_s << u"damage"_s << u"last"_s;
        QTest::newRow("huge values")
            << u"opened"_s << u"sql"_s
            << u"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 3) "
               u"INSERT "
               "INTO lianxi1(姓名, 特长, 备注) SELECT printf('%.*c', 10000000, '名') || i, "
               "printf('%.*c', 10000000, '长'), printf('%.*c', 10000000, '注') FROM n"_s;
    }
    void badAndHugeFilesStayBounded() {
        test::makeBadFile(cell("how"), cell("what"), m_file = m_dir.filePath(u"bad.mdb"_s));
        QProcess other;
        const QStringList lines = runOther(other, {u"open"_s, m_file}, true);
        QCOMPARE(lines.size(), 2);
        QVERIFY2(lines[0].contains(cell("error")), qPrintable(lines[0]));
        QVERIFY2(lines[1].toLongLong() < 250 * 1024, qPrintable(lines[1]));
        QFile::remove(m_file);
    }
};

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    // Freed memory in AddressSanitizer's quarantine would count as the other program's own.
    qputenv("ASAN_OPTIONS", qgetenv("ASAN_OPTIONS") + ":quarantine_size_mb=8");
    if (argc > 1 && qstrcmp(argv[1], "--other-program") == 0) {
        try {
            otherProgram(app.arguments().mid(2));
        } catch (const DataError& error) {
            std::fprintf(stderr, "%s\n", error.message().toUtf8().constData());
            return 1;
        }
        return 0;
    }
    TestCrashSafety test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_crashsafety.moc"
