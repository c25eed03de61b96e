// Records survive a killed program, and two programs can share one database file. The other
// program is this test run again with --other-program, so it is a process of its own; it also
// opens hostile and huge files, so that their time and memory are its own.
#include "badfiles.h"
#include "books.h"
#include "places.h"
#include "store/dataerror.h"
#include "store/sqlitestatement.h"
#include "support/windowdriver.h"

#include <QApplication>
#include <QElapsedTimer>
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

// Kills in the normal run; QB_CRASH_KILLS=200 for the long run.
constexpr int kDefaultKills = 5;

void say(const QString& line) {
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

// Through Quillbox's own store, count contacts or (count < 0) until killed; each key is printed
// once its post has returned. The notes are long enough that a post changes several pages
// (record, key index, free space).
void postContacts(const QString& file, const QString& prefix, int count) {
    RecordStore store;
    store.openDatabase(file);
    BookDataset& contacts = store.book(BookId::Contacts);
    const int note = contacts.columnIndex(u"备注"_s);
    for (int n = 0; n != count; ++n) {
        contacts.append();
        contacts.setFieldText(0, prefix + QString::number(n));
        contacts.setFieldText(note, QString(200 + n % 55, QChar(u'记')));
        contacts.post();
        say(prefix + QString::number(n));
    }
}

// Through the plain SQLite library, waiting for the lock as long as Quillbox does: adds the
// serial number in a transaction and keeps the write lock for a second before committing.
void holdWriteLock(const QString& file, const QString& key) {
    sqlite3* handle = nullptr;
    sqlite3_open_v2(QFile::encodeName(file).constData(), &handle, SQLITE_OPEN_READWRITE, nullptr);
    const std::unique_ptr<sqlite3, int (*)(sqlite3*)> db(handle, sqlite3_close);
    sqlite3_busy_timeout(db.get(), 5000);
    execSql(db.get(), u"BEGIN IMMEDIATE"_s);
    execSql(db.get(), u"INSERT INTO xuliehao1(名称版本号) VALUES ('%1')"_s.arg(key));
    say(u"holding"_s);
    QThread::msleep(1000);
    execSql(db.get(), u"COMMIT"_s);
}

// Through Quillbox's own store: deletes the last contact and adds one, which takes its row id.
void replaceLastContact(const QString& file, const QString& key) {
    RecordStore store;
    store.openDatabase(file);
    BookDataset& contacts = store.book(BookId::Contacts);
    contacts.last();
    contacts.remove();
    test::addRecord(contacts, {key});
}

// Opens the file as the main window does and reads what its grids and fields show of every
// book, moving from the first record to the last; says "opened" or the error, then the
// process's peak memory in KiB.
void openAndBrowse(const QString& file) {
    RecordStore store;
    for (BookId id : allBooks())
        store.book(id).setRequiredColumns(tableSchema(id).columnNames);
    try {
        store.openDatabase(file);
        for (BookId id : allBooks()) {
            BookDataset& book = store.book(id);
            for (book.first(); !book.eof(); book.next())
                for (int c = 0; c < book.columns().size(); ++c)
                    book.valueText(c);
        }
        say(u"opened"_s);
    } catch (const DataError& error) {
        say(error.message());
    }
    // The peak of this program alone: getrusage() would also count the test's memory at the
    // fork that started it.
    QFile status(u"/proc/self/status"_s);
    status.open(QIODevice::ReadOnly);
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            say(QString::fromLatin1(line.mid(6).trimmed().split(' ').first()));
}

// "post <file> <prefix> [<count>]", "hold <file> <key>", "replace <file> <key>" or
// "open <file>"; an error ends it with code 1 and the message.
int runOtherProgram(const QStringList& args) {
    try {
        if (args[0] == u"post"_s)
            postContacts(args[1], args[2], args.value(3, u"-1"_s).toInt());
        else if (args[0] == u"replace"_s)
            replaceLastContact(args[1], args[2]);
        else if (args[0] == u"open"_s)
            openAndBrowse(args[1]);
        else
            holdWriteLock(args[1], args[2]);
    } catch (const DataError& error) {
        std::fprintf(stderr, "%s\n", error.message().toUtf8().constData());
        return 1;
    }
    return 0;
}

void startOtherProgram(QProcess& process, const QStringList& args) {
    process.start(QCoreApplication::applicationFilePath(),
                  QStringList{u"--other-program"_s} + args);
    QVERIFY(process.waitForStarted());
}

// The keys the other program printed: complete lines only.
QStringList completeLines(const QByteArray& output) {
    QStringList lines = QString::fromUtf8(output).split(QLatin1Char('\n'));
    lines.removeLast(); // empty, or a line the kill cut short
    return lines;
}

QString joined(const QSet<QString>& keys) {
    return QStringList(keys.begin(), keys.end()).join(u' ');
}

// A moment to kill at: a quarter of the kills fall while the other program starts and opens
// the file, the rest while it posts.
int killDelayMs(QRandomGenerator& random) {
    return random.bounded(4) == 0 ? random.bounded(40) : 40 + random.bounded(260);
}

} // namespace

class TestCrashSafety : public QObject {
    Q_OBJECT

    std::optional<test::Sandbox> m_box;

private Q_SLOTS:
    void init() { m_box.emplace(); }
    void cleanup() { m_box.reset(); }

    // Killed at random moments, the other program loses no record it reported, and the file
    // stays whole.
    void killedWhilePostingLosesNothing() {
        const int kills = qEnvironmentVariableIsSet("QB_CRASH_KILLS")
                              ? qEnvironmentVariableIntValue("QB_CRASH_KILLS")
                              : kDefaultKills;
        const quint32 seed = qEnvironmentVariableIsSet("QB_CRASH_SEED")
                                 ? qgetenv("QB_CRASH_SEED").toUInt()
                                 : QRandomGenerator::global()->generate();
        qInfo("%d kills, QB_CRASH_SEED=%u", kills, seed);
        QRandomGenerator random(seed);
        const QString file = test::createBookFile(m_box->dir.path());
        QSet<QString> posted;
        QSet<QString> cutShort; // each run's next key: its post may have been stored unprinted
        int killedWhilePosting = 0;
        for (int run = 0; run < kills; ++run) {
            QProcess poster;
            const QString prefix = u"联系人%1-"_s.arg(run);
            startOtherProgram(poster, {u"post"_s, file, prefix});
            QThread::msleep(ulong(killDelayMs(random)));
            ::kill(pid_t(poster.processId()), SIGKILL);
            QVERIFY(poster.waitForFinished(10000));
            // Killed, not ended by an error of its own.
            QVERIFY2(poster.exitStatus() == QProcess::CrashExit,
                     poster.readAllStandardError().constData());
            const QStringList lines = completeLines(poster.readAllStandardOutput());
            killedWhilePosting += lines.isEmpty() ? 0 : 1;
            posted.unite(QSet<QString>(lines.begin(), lines.end()));
            cutShort.insert(prefix + QString::number(lines.size()));

            QCOMPARE(test::firstColumn(file, u"PRAGMA integrity_check"_s), QStringList{u"ok"_s});
            const QStringList stored = test::firstColumn(file, u"SELECT 姓名 FROM lianxi1"_s);
            const QSet<QString> keys(stored.begin(), stored.end());
            QVERIFY2((posted - keys).isEmpty(), qPrintable(joined(posted - keys)));
            // Besides them, only records whose post the kill cut short.
            QVERIFY2(cutShort.contains(keys - posted), qPrintable(joined(keys - posted)));
        }
        qInfo("%d of %d kills fell after the first post; %lld records posted", killedWhilePosting,
              kills, qlonglong(posted.size()));
        RecordStore store;
        store.openDatabase(file);
        BookDataset& contacts = store.book(BookId::Contacts);
        QVERIFY(contacts.recordCount() >= posted.size());
        // A journal the last kill left is gone after the next post: no side file stays.
        test::addRecord(contacts, {u"之后"_s});
        QVERIFY(!QFile::exists(file + u"-journal"_s));
    }

    // Both programs post at the same time, record after record: neither is told the database is
    // locked, and each sees the other's records.
    void bothProgramsPostAtOnce() {
        const QString file = test::createBookFile(m_box->dir.path());
        RecordStore store;
        store.openDatabase(file);
        BookDataset& serials = store.book(BookId::Serials);
        constexpr int kRecords = 150;
        QProcess other;
        startOtherProgram(other, {u"post"_s, file, u"外"_s, QString::number(kRecords)});
        for (int mine = 0; mine < kRecords; ++mine) {
            test::addRecord(serials, {u"内%1"_s.arg(mine)});
            if (mine % 10 == 0)
                serials.refresh();
        }
        QVERIFY(other.waitForFinished(10000));
        QCOMPARE(other.readAllStandardError(), QByteArray());
        QCOMPARE(other.exitCode(), 0);
        BookDataset& contacts = store.book(BookId::Contacts);
        contacts.refresh();
        QCOMPARE(contacts.recordCount(), kRecords);
        QCOMPARE(test::firstColumn(file, u"SELECT count(*) FROM xuliehao1"_s),
                 QStringList{QString::number(kRecords)});
    }

    // The other program deletes the last contact and adds one, which gets the same row id,
    // while this one still shows the deleted contact: deleting or editing it here is refused
    // and the other program's record stays as it was.
    void rowIdReusedByTheOtherProgram() {
        const QString file = test::createBookFile(m_box->dir.path());
        RecordStore store;
        store.openDatabase(file);
        BookDataset& contacts = store.book(BookId::Contacts);
        test::addRecord(contacts, {u"一"_s});
        test::addRecord(contacts, {u"二"_s});
        QCOMPARE(contacts.valueText(0), u"二"_s);
        QProcess other;
        startOtherProgram(other, {u"replace"_s, file, u"三"_s});
        QVERIFY(other.waitForFinished(10000));
        QCOMPARE(other.readAllStandardError(), QByteArray());
        QCOMPARE(test::firstColumn(file, u"SELECT rowid || 姓名 FROM lianxi1 ORDER BY rowid"_s),
                 (QStringList{u"1一"_s, u"2三"_s}));

        QVERIFY(test::storeErrorOf([&] {
                    contacts.remove();
                }).contains(u"这条记录已被另一个程序修改，没有删除"_s));
        contacts.setFieldText(1, u"a@example.com"_s);
        QVERIFY(test::storeErrorOf([&] {
                    contacts.post();
                }).contains(u"这条记录已被另一个程序修改，这次修改没有保存"_s));
        QCOMPARE(test::firstColumn(file, u"SELECT 姓名 || ifnull(邮箱, '') FROM lianxi1"_s),
                 (QStringList{u"一"_s, u"三"_s}));
        contacts.cancel();
        contacts.refresh();
        QCOMPARE(test::keysInGridOrder(contacts), (QStringList{u"一"_s, u"三"_s}));
    }

    // Hostile files and one with values of 10 MB from another program open, or are refused,
    // in bounded time and memory.
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
        QString file = m_box->path(u"other.mdb"_s);
        if (kind.isEmpty()) {
            file = test::createBookFile(m_box->dir.path(), u"other.mdb"_s);
            test::runSql(file, u"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
                               "WHERE i < 3) INSERT INTO lianxi1(姓名, 特长, 备注) SELECT "
                               "printf('%.*c', 10000000, '名') || i, printf('%.*c', 10000000, "
                               "'长'), printf('%.*c', 10000000, '注') FROM n"_s);
        } else {
            test::makeBadFile(kind, file);
        }
        QElapsedTimer timer;
        timer.start();
        QProcess other;
        // Under AddressSanitizer, freed memory waits in a quarantine of 256 MB that would count
        // as the program's own.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"ASAN_OPTIONS"_s,
                           environment.value(u"ASAN_OPTIONS"_s) + u":quarantine_size_mb=8"_s);
        other.setProcessEnvironment(environment);
        startOtherProgram(other, {u"open"_s, file});
        QVERIFY(other.waitForFinished(10000));
        const qint64 ms = timer.elapsed();
        const QStringList lines = completeLines(other.readAllStandardOutput());
        QCOMPARE(lines.size(), 2);
        QVERIFY2(lines[0].contains(result), qPrintable(lines[0]));
        const qint64 peakMiB = lines[1].toLongLong() / 1024;
        qInfo("%s: %lld ms, %lld MiB", qPrintable(kind), ms, peakMiB);
        QVERIFY2(ms < 5000, qPrintable(QString::number(ms)));
        QVERIFY2(peakMiB < 250, qPrintable(QString::number(peakMiB)));
    }

    // Another program holds the write lock for a second while the book posts: the post waits
    // for it instead of failing, and 刷新 then shows the other program's record.
    void secondProgramHoldsTheLock() {
        const QString file = test::createBookFile(m_box->dir.path());
        test::rememberDatabase(m_box->ini(), file);
        auto form = test::showMainWindow(m_box->ini());
        QProcess writer;
        startOtherProgram(writer, {u"hold"_s, file, u"外部程序"_s});
        QVERIFY2(writer.waitForReadyRead(10000), writer.readAllStandardError().constData());
        QCOMPARE(writer.readLine().trimmed(), QByteArray("holding"));
        test::click(*form, "LbButton10");
        test::type(*form, "DBnameversion", u"本程序"_s);
        test::click(*form, "LbButton32");
        QCOMPARE(m_box->platform.messages.size(), 0);
        QVERIFY(writer.waitForFinished(10000));
        QCOMPARE(writer.readAllStandardError(), QByteArray());
        QCOMPARE(writer.exitCode(), 0);
        // The post waited: it came after the other program's record.
        const QStringList both = {u"外部程序"_s, u"本程序"_s};
        QCOMPARE(test::firstColumn(file, u"SELECT 名称版本号 FROM xuliehao1 ORDER BY rowid"_s),
                 both);

        BookDataset& serials = form->store().book(BookId::Serials);
        QCOMPARE(test::keysInGridOrder(serials), QStringList{u"本程序"_s});
        test::click(*form, "LbButton36");
        QCOMPARE(test::keysInGridOrder(serials), both);
        QCOMPARE(m_box->platform.messages.size(), 0);
    }
};

int main(int argc, char* argv[]) {
    if (argc > 1 && qstrcmp(argv[1], "--other-program") == 0) {
        QCoreApplication app(argc, argv);
        return runOtherProgram(app.arguments().mid(2));
    }
    QApplication app(argc, argv);
    TestCrashSafety test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_crashsafety.moc"
