// Records survive a killed program, and two programs can share one database file.
#include "platform/scriptedplatform.h"
#include "store/recordstore.h"
#include "store/testbooks.h"
#include "windowdriver.h"

#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <csignal>
#include <sqlite3.h>

using namespace qb;

namespace {

// Kills in the normal run; QB_CRASH_KILLS=200 for the long run.
constexpr int kDefaultKills = 5;

// The keys the helper printed: complete lines only.
QStringList completeLines(const QByteArray& output) {
    QStringList lines = QString::fromUtf8(output).split(QLatin1Char('\n'));
    lines.removeLast(); // empty, or a line the kill cut short
    return lines;
}

// What a fresh look at the file finds. Opening it rolls back what a killed writer left.
struct FileCheck {
    QString integrity;
    QSet<QString> keys;
};

FileCheck checkFile(const QString& file) {
    FileCheck check;
    sqlite3* db = nullptr;
    sqlite3_open_v2(QFile::encodeName(file).constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &stmt, nullptr);
    while (sqlite3_step(stmt) == SQLITE_ROW)
        check.integrity +=
            QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
    sqlite3_finalize(stmt);
    sqlite3_prepare_v2(db, "SELECT 姓名 FROM lianxi1", -1, &stmt, nullptr);
    while (sqlite3_step(stmt) == SQLITE_ROW)
        check.keys.insert(
            QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0))));
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return check;
}

qint64 rowIdOfSerial(const QString& file, const QString& key) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(QFile::encodeName(file).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, "SELECT rowid FROM xuliehao1 WHERE 名称版本号 = ?1", -1, &stmt, nullptr);
    const QByteArray utf8 = key.toUtf8();
    sqlite3_bind_text(stmt, 1, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
    const qint64 rowId = sqlite3_step(stmt) == SQLITE_ROW ? sqlite3_column_int64(stmt, 0) : -1;
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return rowId;
}

// A moment to kill at: a quarter of the kills fall while the helper starts and opens the
// file, the rest while it posts.
int killDelayMs(QRandomGenerator& random) {
    return random.bounded(4) == 0 ? random.bounded(40) : 40 + random.bounded(260);
}

} // namespace

class TestCrashSafety : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ScopedScriptedPlatform> m_platform;

    QString ini() const { return m_dir->filePath(QStringLiteral("quillbox.ini")); }

    static void startHelper(QProcess& process, const char* program, const QStringList& args) {
        process.start(QString::fromLocal8Bit(program), args);
        QVERIFY2(process.waitForStarted(), program);
    }

    // Reads the helper's next line, waiting as long as the longest lock wait.
    static QString nextLine(QProcess& process) {
        while (!process.canReadLine() && process.waitForReadyRead(10000)) {
        }
        return QString::fromUtf8(process.readLine()).trimmed();
    }

private Q_SLOTS:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_platform = std::make_unique<ScopedScriptedPlatform>();
    }
    void cleanup() {
        m_platform.reset();
        m_dir.reset();
    }

    void killedWhilePostingLosesNothing() {
        const int kills = qEnvironmentVariableIsSet("QB_CRASH_KILLS")
                              ? qEnvironmentVariableIntValue("QB_CRASH_KILLS")
                              : kDefaultKills;
        const quint32 seed = qEnvironmentVariableIsSet("QB_CRASH_SEED")
                                 ? qgetenv("QB_CRASH_SEED").toUInt()
                                 : QRandomGenerator::global()->generate();
        qInfo("%d kills, QB_CRASH_SEED=%u", kills, seed);
        QRandomGenerator random(seed);
        const QString file = test::createBookFile(m_dir->path());
        const QString journal = file + QStringLiteral("-journal");
        QSet<QString> posted;
        QSet<QString> cutShort; // each run's next key: its post may have been stored unprinted
        int killedWhilePosting = 0;
        for (int run = 0; run < kills; ++run) {
            QProcess poster;
            const QString prefix = QStringLiteral("联系人%1-").arg(run);
            startHelper(poster, QB_POSTLOOP, {file, prefix});
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

            const FileCheck check = checkFile(file);
            QCOMPARE(check.integrity, QStringLiteral("ok"));
            const QSet<QString> lost = posted - check.keys;
            QVERIFY2(lost.isEmpty(), qPrintable(QStringList(lost.begin(), lost.end()).join(u' ')));
            // Besides them, only records whose post the kill cut short.
            const QSet<QString> unprinted = check.keys - posted;
            QVERIFY2(cutShort.contains(unprinted),
                     qPrintable(QStringList(unprinted.begin(), unprinted.end()).join(u' ')));
        }
        qInfo("%d of %d kills fell after the first post; %lld records posted", killedWhilePosting,
              kills, qlonglong(posted.size()));
        RecordStore store;
        store.openDatabase(file);
        QVERIFY(store.book(BookId::Contacts).recordCount() >= posted.size());
        // A journal the last kill left is gone after the next post: no side file stays.
        test::addRecord(store.book(BookId::Contacts), {QStringLiteral("之后")});
        QVERIFY(!QFile::exists(journal));
    }

    // Another program holds the write lock for a second while the book posts: the post waits
    // for it instead of failing, and 刷新 then shows the other program's record.
    void secondProgramHoldsTheLock() {
        const QString file = test::createBookFile(m_dir->path());
        test::rememberDatabase(ini(), file);
        auto form = test::showMainWindow(ini());
        QProcess writer;
        startHelper(
            writer, QB_HOLDWRITER,
            {file, QStringLiteral("hold"), QStringLiteral("1000"), QStringLiteral("外部程序")});
        QCOMPARE(nextLine(writer), QStringLiteral("holding"));
        test::click(*form, "LbButton10");
        test::type(*form, "DBnameversion", QStringLiteral("本程序"));
        test::click(*form, "LbButton32");
        QCOMPARE(m_platform->messages.size(), 0);
        QVERIFY(writer.waitForFinished(10000));
        QCOMPARE(writer.exitCode(), 0);
        QCOMPARE(writer.readAllStandardError(), QByteArray());
        // The post waited: it came after the other program's record.
        QVERIFY(rowIdOfSerial(file, QStringLiteral("本程序")) >
                rowIdOfSerial(file, QStringLiteral("外部程序")));

        BookDataset& serials = form->store().book(BookId::Serials);
        QCOMPARE(test::keysInGridOrder(serials), QStringList{QStringLiteral("本程序")});
        test::click(*form, "LbButton36");
        QCOMPARE(test::keysInGridOrder(serials),
                 (QStringList{QStringLiteral("外部程序"), QStringLiteral("本程序")}));
        QCOMPARE(m_platform->messages.size(), 0);
    }

    // Both programs write at the same time, record after record: neither is told the
    // database is locked.
    void bothProgramsWriteAtOnce() {
        const QString file = test::createBookFile(m_dir->path());
        RecordStore store;
        store.openDatabase(file);
        BookDataset& serials = store.book(BookId::Serials);
        constexpr int kRecords = 150;
        QProcess writer;
        startHelper(
            writer, QB_HOLDWRITER,
            {file, QStringLiteral("loop"), QString::number(kRecords), QStringLiteral("外")});
        for (int mine = 0; mine < kRecords; ++mine) {
            test::addRecord(serials, {QStringLiteral("内%1").arg(mine)});
            if (mine % 10 == 0)
                serials.refresh();
        }
        QVERIFY(writer.waitForFinished(10000));
        QCOMPARE(writer.readAllStandardError(), QByteArray());
        QCOMPARE(writer.exitCode(), 0);
        serials.refresh();
        QCOMPARE(serials.recordCount(), 2 * kRecords);
    }
};

QTEST_MAIN(TestCrashSafety)
#include "tst_crashsafety.moc"
