// Writing to a full file system or a read-only folder: text export, internet shortcuts,
// preferences, backup, and the database itself. Each failure gives a clear error; a good file
// is never replaced by a cut-off one; nothing is lost.
#include "places.h"
#include "platform/scriptedplatform.h"
#include "store/badfiles.h"
#include "store/preferences.h"
#include "store/testbooks.h"
#include "testfiles.h"
#include "windowdriver.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

using namespace qb;

namespace {

QString integrityOf(const QString& file) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(QFile::encodeName(file).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &stmt, nullptr);
    QString result;
    while (sqlite3_step(stmt) == SQLITE_ROW)
        result += QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return result;
}

// The folder an operation writes to. Good files go in first; lock() then makes it full or
// read-only.
class Place {
public:
    Place(const QString& folder, bool full)
        : m_folder(folder) {
        if (full)
            m_full = std::make_unique<test::FullFileSystem>(folder);
        QDir().mkpath(folder);
    }
    const QString& folder() const { return m_folder; }
    QString file(const QString& name) const { return QDir(m_folder).filePath(name); }
    // False when nothing can make the place read-only here.
    bool lock() {
        if (m_full) {
            m_full->fill();
            return true;
        }
        m_readOnly = std::make_unique<test::ReadOnlyPlace>(m_folder);
        return m_readOnly->works();
    }
    void unlock() {
        if (m_full)
            m_full->release();
        m_readOnly.reset();
    }
    QString kind() const { return m_full ? m_full->kind() : QStringLiteral("read-only folder"); }

private:
    QString m_folder;
    std::unique_ptr<test::FullFileSystem> m_full;
    std::unique_ptr<test::ReadOnlyPlace> m_readOnly;
};

} // namespace

// Makes the place full or read-only, or skips the test where nothing can.
#define LOCK_PLACE()                                                                               \
    do {                                                                                           \
        if (!m_place->lock())                                                                      \
            QSKIP(qPrintable(test::ReadOnlyPlace::unavailableReason()));                           \
    } while (false)

class TestFullPlaces : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ScopedScriptedPlatform> m_platform;
    std::unique_ptr<Place> m_place;
    QString m_book;

    QString ini() const { return m_dir->filePath(QStringLiteral("quillbox.ini")); }

    void verifyOneError(const QString& text) {
        QCOMPARE(m_platform->messages.size(), 1);
        QCOMPARE(m_platform->messages.constFirst().text, text);
        QCOMPARE(m_platform->messages.constFirst().flags, mb::IconStop);
    }

    // What the system says: no space, the file-size limit of the fallback (EFBIG), or no
    // write access.
    QString shortcutError(bool full) const {
        if (!full)
            return QStringLiteral("File access denied.");
        return m_place->kind() == QStringLiteral("tmpfs") ? QStringLiteral("Disk full.")
                                                          : QStringLiteral("I/O error 27.");
    }

    static void addPlaceRows() {
        QTest::addColumn<bool>("full");
        QTest::newRow("full file system") << true;
        QTest::newRow("read-only folder") << false;
    }

public:
    static void initMain() { test::enterPrivateMountNamespace(); }

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China)); }
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_platform = std::make_unique<ScopedScriptedPlatform>();
        m_book = test::createBookFile(m_dir->path());
        RecordStore store;
        store.openDatabase(m_book);
        test::addRecord(store.book(BookId::Contacts), {QStringLiteral("张三")});
        test::addRecord(store.book(BookId::Websites),
                        {QStringLiteral("a"), QStringLiteral("http://new.a")});
        test::addRecord(store.book(BookId::Websites),
                        {QStringLiteral("b"), QStringLiteral("http://b")});
    }
    void cleanup() {
        m_place.reset();
        m_platform.reset();
        m_dir.reset();
    }

    void textExport_data() { addPlaceRows(); }
    void textExport() {
        QFETCH(bool, full);
        m_place = std::make_unique<Place>(m_dir->filePath(QStringLiteral("place")), full);
        const QString target = m_place->file(QStringLiteral("list.txt"));
        qb::test::writeBytes(target, "the good list\r\n");
        test::rememberDatabase(ini(), m_book);
        auto form = test::showMainWindow(ini());
        const QString before = test::fingerprint(target);
        LOCK_PLACE();
        m_platform->fileAnswers.enqueue(target);
        test::trigger(*form, "N6");
        verifyOneError(QStringLiteral("Cannot create file %1.").arg(target));
        m_place->unlock();
        QCOMPARE(test::fingerprint(target), before);
        QCOMPARE(test::folderEntries(m_place->folder()).filter(QStringLiteral("list")),
                 QStringList{QStringLiteral("list.txt")});
    }

    void shortcuts_data() { addPlaceRows(); }
    void shortcuts() {
        QFETCH(bool, full);
        m_platform->favorites = m_dir->filePath(QStringLiteral("Favorites"));
        const QString folder = m_platform->favorites + QStringLiteral("/Inkwren网址收集");
        m_place = std::make_unique<Place>(folder, full);
        const QString good = QDir(folder).filePath(QStringLiteral("a.url"));
        qb::test::writeBytes(good, "[InternetShortcut]\r\nURL=http://good.a\r\n");
        test::rememberDatabase(ini(), m_book);
        auto form = test::showMainWindow(ini());
        const QString before = test::fingerprint(good);
        LOCK_PLACE();
        test::trigger(*form, "IE1");
        verifyOneError(shortcutError(full));
        m_place->unlock();
        QCOMPARE(test::fingerprint(good), before);
        QCOMPARE(test::folderEntries(folder), QStringList{QStringLiteral("a.url")});
        QVERIFY(m_platform->launches.isEmpty());
    }

    void preferences_data() { addPlaceRows(); }
    void preferences() {
        QFETCH(bool, full);
        m_place = std::make_unique<Place>(m_dir->filePath(QStringLiteral("config")), full);
        const QString iniFile = m_place->file(QStringLiteral("quillbox.ini"));
        test::rememberDatabase(iniFile, m_book, {QStringLiteral("张"), QStringLiteral("李")});
        const QString before = test::fingerprint(iniFile);
        auto form = test::showMainWindow(iniFile);
        test::type(*form, "cmlianxi1zhao", QStringLiteral("王"));
        test::click(*form, "LbButton5");          // 定位: a third history entry
        QCOMPARE(m_platform->messages.size(), 1); // 找不到
        m_platform->messages.clear();
        LOCK_PLACE();
        form.reset();
        verifyOneError(QStringLiteral("Unable to write to %1.").arg(iniFile));
        m_place->unlock();
        QCOMPARE(test::fingerprint(iniFile), before);
        const Preferences kept = LoadPreferences(iniFile);
        QCOMPARE(kept.databasePath, m_book);
        QCOMPARE(kept.histories[0], (QStringList{QStringLiteral("张"), QStringLiteral("李")}));
        QCOMPARE(test::folderEntries(m_place->folder()),
                 QStringList{QStringLiteral("quillbox.ini")});
    }

    void backup_data() { addPlaceRows(); }
    void backup() {
        QFETCH(bool, full);
        m_place = std::make_unique<Place>(m_dir->filePath(QStringLiteral("copies")), full);
        test::rememberDatabase(ini(), m_book);
        auto form = test::showMainWindow(ini());
        LOCK_PLACE();
        m_platform->fileAnswers.enqueue(m_place->file(QStringLiteral("copy")));
        test::trigger(*form, "FileSaveAsItem");
        QCOMPARE(m_platform->messages.size(), 1);
        QVERIFY2(m_platform->messages[0].text.startsWith(QStringLiteral("备份到")),
                 qPrintable(m_platform->messages[0].text));
        m_place->unlock();
        QCOMPARE(test::folderEntries(m_place->folder()), QStringList());
        // The open database stays the open one.
        QCOMPARE(form->windowTitle(), QStringLiteral("Quillbox--book.mdb"));
        QCOMPARE(form->currentDatabasePath(), m_book);
        QCOMPARE(form->store().connection().fileName(), m_book);
        QVERIFY(form->store().isOpen());
    }

    // The database itself on a full file system: the post fails, the record stays in the
    // entry fields, and once there is room again the same record is posted.
    void databaseOnFullDisk() {
        m_place = std::make_unique<Place>(m_dir->filePath(QStringLiteral("disk")), true);
        const QString file = m_place->file(QStringLiteral("book.mdb"));
        QVERIFY(QFile::copy(m_book, file));
        test::rememberDatabase(ini(), file);
        auto form = test::showMainWindow(ini());
        LOCK_PLACE();
        test::click(*form, "LbButton1"); // 添加
        test::type(*form, "DBname", QStringLiteral("李四"));
        test::type(*form, "DBLianxiMemo", QString(255, QChar(u'满')));
        test::click(*form, "LbButton28"); // 提交
        QCOMPARE(m_platform->messages.size(), 1);
        qInfo("%s", qPrintable(m_platform->messages[0].text));
        m_place->unlock();
        test::click(*form, "LbButton3"); // 修改
        QCOMPARE(test::fieldText(*form, "DBname"), QStringLiteral("李四"));
        test::click(*form, "LbButton28");
        QCOMPARE(m_platform->messages.size(), 1);
        form.reset();
        QCOMPARE(integrityOf(file), QStringLiteral("ok"));
        RecordStore store;
        store.openDatabase(file);
        QCOMPARE(test::keysInGridOrder(store.book(BookId::Contacts)),
                 (QStringList{QStringLiteral("张三"), QStringLiteral("李四")}));
    }
};

QTEST_MAIN(TestFullPlaces)
#include "tst_fullplaces.moc"
