// Large input: a 10 MB note, a search history of 100,000 entries, and characters outside GBK
// through the database, the preferences file, the text export and the shortcut files.
#include "export/favorites.h"
#include "places.h"
#include "platform/scriptedplatform.h"
#include "store/preferences.h"
#include "store/testbooks.h"
#include "windowdriver.h"

#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLocale>
#include <QPlainTextEdit>
#include <QStringDecoder>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

using namespace qb;

namespace {

const QString kTenMegabytes(10 * 1024 * 1024, QChar(u'注'));
// An emoji, a character of CJK extension B and one of extension A: none of them is in GBK;
// the first two take four bytes in UTF-8, GB18030 and as UTF-16 surrogate pairs.
const QString kOutsideGbk = QStringLiteral("笑😀\U00020000\u3400");

QString decodedFile(const QString& file) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return QStringLiteral("<missing>");
    QStringDecoder decoder("GB18030");
    return decoder.decode(f.readAll());
}

} // namespace

class TestLargeInput : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ScopedScriptedPlatform> m_platform;
    QString m_book;

    QString ini() const { return m_dir->filePath(QStringLiteral("quillbox.ini")); }
    QString path(const QString& name) const { return m_dir->filePath(name); }

    std::unique_ptr<TSDIAppForm> start(const QStringList& history = {}) {
        test::rememberDatabase(ini(), m_book, history);
        return test::showMainWindow(ini());
    }

    static void showEntryPage(TSDIAppForm& form, int subPage) {
        form.findChild<QTabWidget*>(QStringLiteral("PageControl3"))->setCurrentIndex(subPage);
    }

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China)); }
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_platform = std::make_unique<ScopedScriptedPlatform>();
        m_book = test::createBookFile(m_dir->path());
    }
    void cleanup() {
        m_platform.reset();
        m_dir.reset();
    }

    // 备注 holds 255 characters. Pasted into the note field, 10 MB is refused at once with
    // the data layer's error and the field keeps what it had; handed to the book by other
    // means, the post refuses it and the record stays being entered.
    void tenMegabyteNote() {
        auto form = start();
        test::click(*form, "LbButton1"); // 添加
        test::type(*form, "DBname", QStringLiteral("甲"));
        showEntryPage(*form, 2);
        auto* note = form->findChild<QPlainTextEdit*>(QStringLiteral("DBLianxiMemo"));
        test::type(*form, "DBLianxiMemo", QStringLiteral("开头"));
        QGuiApplication::clipboard()->setText(kTenMegabytes);
        QTest::keyClick(note, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(m_platform->messages.size(), 1);
        QCOMPARE(m_platform->messages[0].text,
                 QStringLiteral("ADOTable1: 备注最多只能有 255 个字符."));
        QCOMPARE(note->toPlainText(), QStringLiteral("开头"));
        test::click(*form, "LbButton28"); // 提交
        QCOMPARE(m_platform->messages.size(), 1);

        form.reset();

        RecordStore store;
        store.openDatabase(m_book);
        BookDataset& contacts = store.book(BookId::Contacts);
        contacts.append();
        contacts.setFieldText(0, QStringLiteral("乙"));
        contacts.setFieldText(contacts.columnIndex(QStringLiteral("备注")), kTenMegabytes);
        QCOMPARE(test::errorOf([&] { contacts.post(); }),
                 QStringLiteral("ADOTable1: 备注最多只能有 255 个字符"));
        QCOMPARE(contacts.state(), DatasetState::Insert);
        QCOMPARE(contacts.valueText(0), QStringLiteral("乙"));
        contacts.cancel();
        QCOMPARE(test::keysInGridOrder(contacts), QStringList{QStringLiteral("甲")});
    }

    // The width counts characters, not bytes or UTF-16 units: 255 four-byte characters fit.
    void fullNoteOfFourByteCharacters() {
        const QString note = QStringLiteral("😀\U00020000").repeated(127) + QStringLiteral("😀");
        QCOMPARE(note.toUcs4().size(), 255);
        auto form = start();
        test::click(*form, "LbButton1");
        test::type(*form, "DBname", QStringLiteral("甲"));
        showEntryPage(*form, 2);
        QGuiApplication::clipboard()->setText(note);
        QTest::keyClick(form->findChild<QPlainTextEdit*>(QStringLiteral("DBLianxiMemo")), Qt::Key_V,
                        Qt::ControlModifier);
        test::click(*form, "LbButton28");
        QCOMPARE(m_platform->messages.size(), 0);
        form.reset();
        form = start();
        QCOMPARE(form->store().book(BookId::Contacts).valueText(QStringLiteral("备注")), note);
        QCOMPARE(test::fieldText(*form, "DBLianxiMemo"), note);
        // One more is one too many.
        BookDataset& contacts = form->store().book(BookId::Contacts);
        contacts.edit();
        contacts.setFieldText(contacts.columnIndex(QStringLiteral("备注")),
                              note + QStringLiteral("😀"));
        QCOMPARE(test::errorOf([&] { contacts.post(); }),
                 QStringLiteral("ADOTable1: 备注最多只能有 255 个字符"));
    }

    // Loaded at the start, grown by 定位, saved at the end and loaded by the next start.
    // How long this takes is measured in bench/.
    void searchHistoryOf100000() {
        QStringList history;
        history.reserve(100000);
        for (int i = 0; i < 100000; ++i)
            history << QStringLiteral("搜索%1").arg(i);
        auto form = start(history);
        test::type(*form, "cmlianxi1zhao", QStringLiteral("新的"));
        test::click(*form, "LbButton5");          // 定位
        QCOMPARE(m_platform->messages.size(), 1); // 找不到
        form.reset();
        QCOMPARE(m_platform->messages.size(), 1);
        history << QStringLiteral("新的");
        QCOMPARE(LoadPreferences(ini()).histories[0], history);
        form = test::showMainWindow(ini());
        const auto* box = form->findChild<QComboBox*>(QStringLiteral("cmlianxi1zhao"));
        QCOMPARE(box->count(), 100001);
        QCOMPARE(box->itemText(100000), QStringLiteral("新的"));
    }

    // Typed into the window, kept in the database, the search history, the text export and
    // a shortcut file, and read back unchanged from each.
    void charactersOutsideGbk() {
        const QString name = QStringLiteral("网") + kOutsideGbk;
        const QString address = QStringLiteral("http://例子.中国/") + kOutsideGbk;
        auto form = start();
        test::click(*form, "LbButton7"); // websites: 添加
        test::type(*form, "DBwangzhiname", name);
        test::type(*form, "DBwangzhi", address);
        test::click(*form, "LbButton30"); // 提交
        const QString search = QStringLiteral("网笑😀");
        test::type(*form, "cmwzsk1zhao", search);
        test::click(*form, "LbButton9"); // 定位
        QCOMPARE(m_platform->messages.size(), 0);

        const QString exported = path(QStringLiteral("websites.txt"));
        m_platform->fileAnswers.enqueue(exported);
        test::trigger(*form, "N11");
        QCOMPARE(decodedFile(exported), QStringLiteral("[我的网址]\r\n") + name +
                                            QStringLiteral("  \\\\\\\\\\  ") + address +
                                            QStringLiteral("\r\n\r\n"));

        m_platform->favorites = path(QStringLiteral("Favorites"));
        test::trigger(*form, "IE1");
        const QString shortcut = m_platform->favorites + QStringLiteral("/Inkwren网址收集/") +
                                 name + QStringLiteral(".url");
        QCOMPARE(decodedFile(shortcut),
                 QStringLiteral("[InternetShortcut]\r\nURL=") + address + QStringLiteral("\r\n"));
        QCOMPARE(m_platform->messages.size(), 0);

        form.reset();
        const Preferences saved = LoadPreferences(ini());
        QCOMPARE(saved.histories[size_t(BookId::Websites)], QStringList{search});
        form = test::showMainWindow(ini());
        BookDataset& websites = form->store().book(BookId::Websites);
        QCOMPARE(websites.valueText(0), name);
        QCOMPARE(websites.valueText(1), address);
        QCOMPARE(test::fieldText(*form, "DBwangzhiname"), name);
        QCOMPARE(test::fieldText(*form, "cmwzsk1zhao"), QString());
        QCOMPARE(form->findChild<QComboBox*>(QStringLiteral("cmwzsk1zhao"))->itemText(0), search);
    }
};

QTEST_MAIN(TestLargeInput)
#include "tst_largeinput.moc"
