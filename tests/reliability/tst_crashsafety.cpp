// Records survive a killed program, and two programs can share one database file. The other
// program is this test run again with --other-program, so it is a process of its own; it also
// opens hostile and huge files, so that their memory is its own.
#include "badfiles.h"
#include "books.h"
#include "places.h"
#include "store/dataerror.h"
#include "store/sqlitestatement.h"
#include "support/windowdriver.h"

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QTest>
#include <QThread>

#include <csignal>
#include <cstdio>
#include <optional>
#include <sqlite3.h>

using namespace qb;
using namespace Qt::StringLiterals;

namespace {

void say(const QString& line) {
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

// "post <file> <prefix> <count>" (-1: until killed) prints each key once its post returned;
// the notes are long enough that a post changes several pages. "hold <file> <key>" adds the
// serial through plain SQLite and keeps the write lock a second. "replace <file> <key>"
// deletes the last contact and adds one, which takes its row id. "open <file>" reads every
// record of every book as the window does, then prints "opened" or the error and the peak
// memory in KiB.
void otherProgram(const QStringList& args) {
    RecordStore store;
    BookDataset& contacts = store.book(BookId::Contacts);
    if (args[0] == u"hold"_s) {
        sqlite3* db = nullptr;
        sqlite3_open_v2(QFile::encodeName(args[1]).constData(), &db, SQLITE_OPEN_READWRITE, {});
        sqlite3_busy_timeout(db, 5000);
        execSql(db, u"BEGIN IMMEDIATE"_s);
        execSql(db, u"INSERT INTO xuliehao1(名称版本号) VALUES ('%1')"_s.arg(args[2]));
        say(u"holding"_s);
        QThread::msleep(1000);
        execSql(db, u"COMMIT"_s);
        sqlite3_close(db);
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
        QFile status(u"/proc/self/status"_s);
        status.open(QIODevice::ReadOnly);
        say(QString::fromLatin1(status.readAll())
                .section(u"VmHWM:"_s, 1)
                .simplified()
                .section(u' ', 0, 0));
    } else {
        store.openDatabase(args[1]);
        if (args[0] == u"replace"_s) {
            contacts.last();
            contacts.remove();
            return test::addRecord(contacts, {args[2]});
        }
        for (int n = 0; n != args[3].toInt(); ++n) {
            contacts.append();
            contacts.setFieldText(0, args[2] + QString::number(n));
            contacts.setFieldText(contacts.columnIndex(u"备注"_s), QString(200 + n % 55, u'记'));
            contacts.post();
            say(args[2] + QString::number(n));
        }
    }
}

// Waits for it when `wait`: the lines it printed.
QStringList runOther(QProcess& other, const QStringList& args, bool wait = true) {
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

    std::optional<test::Sandbox> m_box;
    QString m_file;

private Q_SLOTS:
    void init() {
        m_box.emplace();
        m_file = test::createBookFile(m_box->dir.path());
    }
    void cleanup() { m_box.reset(); }

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
            runOther(poster, {u"post"_s, m_file, prefix, u"-1"_s}, false);
            QThread::msleep(random.bounded(4) ? 40 + random.bounded(260) : random.bounded(40));
            ::kill(pid_t(poster.processId()), SIGKILL);
            QVERIFY(poster.waitForFinished(10000));
            QVERIFY2(poster.exitStatus() == QProcess::CrashExit,
                     poster.readAllStandardError().constData());
            QStringList lines = QString::fromUtf8(poster.readAllStandardOutput()).split(u'\n');
            cutShort.insert(prefix + QString::number(lines.size() - 1));
            posted.unite(QSet<QString>(lines.begin(), lines.end() - 1));
            QCOMPARE(test::firstColumn(m_file, u"PRAGMA integrity_check"_s), QStringList{u"ok"_s});
            const QStringList stored = test::firstColumn(m_file, u"SELECT 姓名 FROM lianxi1"_s);
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
        runOther(other, {u"post"_s, m_file, u"外"_s, u"150"_s}, false);
        for (int mine = 0; mine < 150; ++mine) {
            test::addRecord(store.book(BookId::Serials), {u"内%1"_s.arg(mine)});
            if (mine % 10 == 0)
                store.book(BookId::Serials).refresh();
        }
        QVERIFY(other.waitForFinished(10000));
        QCOMPARE(other.readAllStandardError() + QByteArray::number(other.exitCode()),
                 QByteArray("0"));
        store.book(BookId::Contacts).refresh();
        QCOMPARE(store.book(BookId::Contacts).recordCount(), 150);
        QCOMPARE(test::firstColumn(m_file, u"SELECT count(*) FROM xuliehao1"_s),
                 QStringList{u"150"_s});
    }

    // The other program deletes the contact shown here and adds one with the same row id:
    // deleting or editing it here is refused and the other program's record stays.
    void rowIdReusedByTheOtherProgram() {
        RecordStore store;
        store.openDatabase(m_file);
        BookDataset& contacts = store.book(BookId::Contacts);
        test::addRecord(contacts, {u"一"_s});
        test::addRecord(contacts, {u"二"_s});
        QCOMPARE(contacts.valueText(0), u"二"_s); // shown here
        QProcess other;
        runOther(other, {u"replace"_s, m_file, u"三"_s});
        QCOMPARE(test::firstColumn(m_file, u"SELECT rowid || 姓名 FROM lianxi1 ORDER BY rowid"_s),
                 (QStringList{u"1一"_s, u"2三"_s}));
        QVERIFY(test::storeErrorOf([&] {
                    contacts.remove();
                }).contains(u"已被另一个程序修改，没有删除"_s));
        contacts.setFieldText(1, u"a@example.com"_s);
        QVERIFY(test::storeErrorOf([&] {
                    contacts.post();
                }).contains(u"已被另一个程序修改，这次修改没有保存"_s));
        QCOMPARE(test::firstColumn(m_file, u"SELECT 姓名 || ifnull(邮箱, '') FROM lianxi1"_s),
                 (QStringList{u"一"_s, u"三"_s}));
        contacts.cancel();
        contacts.refresh();
        QCOMPARE(test::keysInGridOrder(contacts), (QStringList{u"一"_s, u"三"_s}));
    }

    // Hostile files, and one with values of 10 MB, open or are refused within a bound of
    // memory and without hanging.
    void hostileAndHugeFilesStayBounded_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("result");
        for (const char* kind : {"recursive view", "value bomb view", "rowid column"})
            QTest::newRow(kind) << QString::fromLatin1(kind) << u"不能打开这个文件"_s;
        QTest::newRow("huge values") << QString() << u"opened"_s;
    }
    void hostileAndHugeFilesStayBounded() {
        QFETCH(QString, kind);
        QFETCH(QString, result);
        if (kind.isEmpty())
            test::runSql(m_file, u"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
                                 "WHERE i < 3) INSERT INTO lianxi1(姓名, 特长, 备注) SELECT "
                                 "printf('%.*c', 10000000, '名') || i, printf('%.*c', 10000000, "
                                 "'长'), printf('%.*c', 10000000, '注') FROM n"_s);
        else
            test::makeBadFile(kind, m_file = m_box->path(u"bad.mdb"_s));
        QProcess other;
        // Freed memory in AddressSanitizer's quarantine would count as the program's own.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"ASAN_OPTIONS"_s,
                           environment.value(u"ASAN_OPTIONS"_s) + u":quarantine_size_mb=8"_s);
        other.setProcessEnvironment(environment);
        const QStringList lines = runOther(other, {u"open"_s, m_file});
        QCOMPARE(lines.size(), 2);
        QVERIFY2(lines[0].contains(result), qPrintable(lines[0]));
        QVERIFY2(lines[1].toLongLong() < 250 * 1024, qPrintable(lines[1]));
    }

    // Another program holds the write lock for a second: the window's post waits for it
    // instead of failing, and 刷新 then shows the other program's record.
    void secondProgramHoldsTheLock() {
        test::rememberDatabase(m_box->ini(), m_file);
        auto form = test::showMainWindow(m_box->ini());
        QProcess writer;
        runOther(writer, {u"hold"_s, m_file, u"外部程序"_s}, false);
        QVERIFY(writer.waitForReadyRead(10000));
        test::click(*form, "LbButton10");
        test::type(*form, "DBnameversion", u"本程序"_s);
        test::click(*form, "LbButton32");
        QVERIFY(writer.waitForFinished(10000));
        const QStringList both = {u"外部程序"_s, u"本程序"_s};
        QCOMPARE(test::firstColumn(m_file, u"SELECT 名称版本号 FROM xuliehao1 ORDER BY rowid"_s),
                 both);
        BookDataset& serials = form->store().book(BookId::Serials);
        QCOMPARE(test::keysInGridOrder(serials), QStringList{u"本程序"_s});
        test::click(*form, "LbButton36");
        QCOMPARE(test::keysInGridOrder(serials), both);
        QCOMPARE(m_box->platform.messages.size() + writer.exitCode(), 0);
    }
};

int main(int argc, char* argv[]) {
    if (argc > 1 && qstrcmp(argv[1], "--other-program") == 0) {
        QCoreApplication app(argc, argv);
        try {
            otherProgram(app.arguments().mid(2));
        } catch (const DataError& error) {
            std::fprintf(stderr, "%s\n", error.message().toUtf8().constData());
            return 1;
        }
        return 0;
    }
    QApplication app(argc, argv);
    TestCrashSafety test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_crashsafety.moc"
