#include "exchange/exchangecommands.h"
#include "openbooks.h"
#include "platform/filedialog.h"
#include "tables.h"
#include "testfiles.h"

#include <QLocale>
#include <QProcess>
#include <QStandardPaths>

using namespace qb;
using namespace Qt::StringLiterals;

namespace {

const QString kPython = u"/usr/bin/python3"_s;

// Reads every card of the first file with vobject and writes what it understood to the second.
const char kVobjectRead[] = R"(
import sys, vobject; out = open(sys.argv[2], 'w', encoding='utf-8', newline='')
for card in vobject.readComponents(open(sys.argv[1], encoding='utf-8').read()):
    c = card.contents; v = lambda k: c[k][0].value if k in c else ''
    out.write('¦'.join([card.fn.value, v('note'), '/'.join(v('org')), v('x-quillbox-speciality'),
        '/'.join(a.value.street for a in c.get('adr', [])),
        '/'.join(sorted(t.value for t in c.get('tel', [])))]) + '¶')
)";

} // namespace

class TestExchange : public QObject {
    Q_OBJECT

    std::optional<test::OpenBooks> m_b;

    QString path(const QString& name) const { return m_b->dir.filePath(name); }
    static BookId bookId(const QString& name) {
        return BookId(u"contacts websites serials"_s.split(u' ').indexOf(name));
    }
    BookDataset& book(const QString& name) { return m_b->store.book(bookId(name)); }
    static ExchangeFormat format(const QString& name) {
        return ExchangeFormat(u"vcard bookmarks csv"_s.split(u' ').indexOf(name));
    }
    // Adds the records of a set in tests/data/exchange/records.txt; how many there were.
    int fill(BookDataset& book, const QString& set) {
        int count = 0;
        for (const test::TableRow& row : test::readTable(u"exchange/records.txt"_s))
            if (row.name == set && ++count)
                test::addRecord(book, row.cells);
        return count;
    }
    // A second, empty book file opened in its own store.
    std::unique_ptr<RecordStore> freshStore(const QString& name) {
        auto store = std::make_unique<RecordStore>();
        store->openDatabase(test::createBookFile(m_b->dir.path(), name));
        return store;
    }

    // Runs a program to its end, with our environment and no input: true when it succeeds.
    static bool runs(const QString& program, const QStringList& args) {
        QProcess process;
        process.setProcessChannelMode(QProcess::ForwardedChannels);
        process.setStandardInputFile(QProcess::nullDevice());
        process.start(program, args);
        return process.waitForFinished(60000) && process.exitCode() == 0; // a hung one is killed
    }
    // The named columns of the records a new book gets from the file.
    QString readIntoNewBook(BookId id, ExchangeFormat format, const QString& file,
                            const QString& columns = {}) {
        auto copy = freshStore(file + u".mdb"_s);
        readBookFile(copy->book(id), format, path(file), nullptr);
        return test::shown(copy->book(id), columns);
    }

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China)); }
    void init() { m_b.emplace(); }
    void cleanup() { m_b.reset(); }

    // Book -> file -> new book gives the same records; the whole book, or only the current
    // record. Where a golden file is named, the written bytes are as hand-written there.
    void roundTrip_data() { test::addTableRows(u"exchange/roundtrip.txt"_s); }
    void roundTrip() {
        const auto [set, name, golden] = test::cells<3>();
        const BookId id = bookId(set.section(u' ', -1));
        BookDataset& from = m_b->store.book(id);
        const ExchangeFormat as = format(name);
        const int count = fill(from, set);
        QVERIFY(writeBookFile(from, as, path(u"out.file"_s)));
        if (!golden.isEmpty())
            QCOMPARE(test::readBytes(path(u"out.file"_s)),
                     test::goldenBytes(u"exchange/"_s + golden));
        auto copy = freshStore(u"copy.mdb"_s);
        QCOMPARE(readBookFile(copy->book(id), as, path(u"out.file"_s), nullptr).text(),
                 u"导入完成：新增 %1 条，替换 0 条，跳过 0 条。"_s.arg(count));
        from.refresh(); // typed records take their place in key order
        QCOMPARE(test::shown(copy->book(id)), test::shown(from));

        from.last();
        QVERIFY(writeBookFile(from, as, path(u"one.file"_s), true));
        QCOMPARE(readIntoNewBook(id, as, u"one.file"_s), test::shown(from).section(u'¶', -1));
    }

    // Files as other programs write them: the values land in the right columns. Broken or
    // hostile files (no columns named): a clear error, and the book exactly as before.
    void readsFiles_data() { test::addTableRows(u"exchange/reading.txt"_s); }
    void readsFiles() {
        const auto [name, as, bytes, columns, expected] = test::cells<5>();
        BookDataset& into = book(name);
        if (columns.isEmpty())
            test::addRecord(into, {u"旧的"_s});
        const QString before = test::shown(into);
        test::writeBytes(path(u"in.file"_s), test::bytesOf(bytes));
        const QString error = test::storeErrorOf([&] {
            readBookFile(into, format(as), path(u"in.file"_s),
                         [](const QString&) { return DuplicateChoice::Skip; });
        });
        into.refresh();
        QCOMPARE(error + u'¶' + test::shown(into, columns),
                 columns.isEmpty() ? expected + u'¶' + before : u'¶' + expected);
    }

    // Keys the book or the file already has: decided once, applied to every one of them.
    void duplicateKeys_data() { test::addTableRows(u"exchange/duplicates.txt"_s); }
    void duplicateKeys() {
        const auto [choice, report, records] = test::cells<3>();
        test::addRecord(book(u"websites"_s), {u"张伟"_s, {}, {}, u"旧"_s});
        for (const QString& answer : choice.split(u' '))
            m_b->platform.answers.enqueue(answer == u"yes"_s ? mb::IdYes : mb::IdNo);
        QStringList asked;
        QCOMPARE(readBookFile(book(u"websites"_s), ExchangeFormat::Csv,
                              test::dataFile(u"exchange/duplicates.csv"_s),
                              [&](const QString& key) {
                                  asked << key;
                                  return askDuplicateChoice(key);
                              })
                     .text(),
                 report);
        QCOMPARE(asked, QStringList{u"张伟"_s}); // decided once, for every duplicate
        QVERIFY(m_b->platform.answers.isEmpty());
        QCOMPARE(test::shown(book(u"websites"_s), u"网址名称¦备注"_s), records);
    }

    // The dialog offers bookmark files; a name that is the open database, by a link, is refused.
    void exportRefusesTheDatabase() {
        test::addRecord(book(u"websites"_s), {u"站点"_s, u"https://a.example/"_s});
        QVERIFY(QFile::link(path(u"book.mdb"_s), path(u"db.html"_s)));
        FileDialog dialog(FileDialogRequest::Kind::Save, true);
        m_b->platform.fileAnswers << path(u"db.html"_s);
        QVERIFY(test::storeErrorOf([&] {
                    exportBookFile(m_b->store, BookId::Websites, ExchangeFormat::Bookmarks, false,
                                   dialog, nullptr);
                }).endsWith(u"db.html”：它是打开着的数据库文件，导出没有进行"_s));
        QCOMPARE(m_b->platform.fileRequests.last().filter, u"书签文件|*.html"_s);
    }

    // A cancelled import or export changes nothing, nor does a bad record after thousands of
    // good ones; a long file comes in whole.
    void cancel() {
        BookDataset& serials = book(u"serials"_s);
        test::addRecord(serials, {u"旧的"_s});
        QByteArray csv = "名称版本号\r\n";
        for (int i = 0; i < 4096; ++i)
            csv += "s" + QByteArray::number(i) + "\r\n";
        test::writeBytes(path(u"in.csv"_s), csv);
        int calls = 0;
        const ExchangeImportReport report =
            readBookFile(serials, ExchangeFormat::Csv, path(u"in.csv"_s), nullptr,
                         [&](qint64 done, qint64 total) {
                             [&] { QVERIFY(done > 0 && done <= total); }();
                             return ++calls < 3;
                         });
        QCOMPARE(report.text(), u"导入已取消，簿中的记录没有任何改变。"_s);
        QVERIFY(report.cancelled && test::shown(serials) == u"旧的¦¦¦¦"_s);
        test::writeBytes(path(u"bad.csv"_s), csv + "\xd5\xc5\r\n");
        QCOMPARE(test::storeErrorOf([&] {
                     readBookFile(serials, ExchangeFormat::Csv, path(u"bad.csv"_s), nullptr);
                 }),
                 u"文件第 4098 行：不是 UTF-8 文本"_s);
        serials.refresh();
        QCOMPARE(test::shown(serials), u"旧的¦¦¦¦"_s);
        QCOMPARE(readBookFile(serials, ExchangeFormat::Csv, path(u"in.csv"_s), nullptr).added,
                 4096);
        QVERIFY(!writeBookFile(serials, ExchangeFormat::Csv, path(u"in.csv"_s), false,
                               [](qint64, qint64) { return false; }));
        QCOMPARE(test::readBytes(path(u"in.csv"_s)), csv);
    }

    // vobject reads every card we write, and what it writes comes in.
    void vobjectBothWays() {
        if (!runs(kPython, {u"-c"_s, u"import vobject"_s}))
            QSKIP("python3-vobject is not installed (scripts/install-deps.sh installs it)");
        fill(m_b->contacts(), u"vobject contacts"_s);
        QVERIFY(writeBookFile(m_b->contacts(), ExchangeFormat::VCard, path(u"c.vcf"_s)));
        QVERIFY(runs(kPython, {u"-c"_s, QString::fromUtf8(kVobjectRead), path(u"c.vcf"_s),
                               path(u"c.txt"_s)}));
        QCOMPARE(QString::fromUtf8(test::readBytes(path(u"c.txt"_s))),
                 u"张伟¦多行\n备注 😀 \\ 反斜杠¦甲乙, 有限公司/研发;一部¦"_s + QString(40, u'书') +
                     u"¦朝阳路 1 号; 2 单元¦010-1/138¶李四¦¦¦¦¦¶"_s);
        // What vobject writes of a card it read.
        QVERIFY(runs(kPython, {u"-c"_s,
                               u"import sys, vobject; open(sys.argv[2], 'w', encoding='utf-8', "
                               "newline='').write(vobject.readOne(open(sys.argv[1], "
                               "encoding='utf-8').read()).serialize())"_s,
                               test::dataFile(u"exchange/vobject-in.vcf"_s), path(u"v.vcf"_s)}));
        QCOMPARE(readIntoNewBook(BookId::Contacts, ExchangeFormat::VCard, u"v.vcf"_s,
                                 u"姓名¦公司邮箱¦手机¦备注¦单位¦部门¦家庭地址¦市¦国家¦生日"_s),
                 u"王 小明¦xm@work.example¦139 0000¦一, 二; 三\\ 四\n第二行 😀¦公司, 总部¦部门¦"
                 "长安街 1 号¦北京¦中国¦1985/3/4"_s);
    }

    // khard keeps one card per file: it reads ours, and what it writes comes in.
    void khardBothWays() {
        if (QStandardPaths::findExecutable(u"khard"_s).isEmpty())
            QSKIP("khard is not installed (scripts/install-deps.sh installs it)");
        QVERIFY(QDir().mkpath(path(u"book"_s)));
        test::writeBytes(
            path(u"khard.conf"_s),
            "[addressbooks]\n[[main]]\npath = " + path(u"book"_s).toUtf8() +
                "\n[general]\ndefault_action = list\neditor = true\nmerge_editor = true\n");
        const auto khard = [&](const QStringList& args) {
            return runs(u"khard"_s, QStringList{u"-c"_s, path(u"khard.conf"_s)} + args);
        };
        fill(m_b->contacts(), u"khard contacts"_s);
        QVERIFY(
            writeBookFile(m_b->contacts(), ExchangeFormat::VCard, path(u"book/zw.vcf"_s), true));
        QVERIFY(
            khard({u"show"_s, u"--format"_s, u"yaml"_s, u"-o"_s, path(u"zw.yaml"_s), u"张伟"_s}));
        const QByteArray shown = test::readBytes(path(u"zw.yaml"_s));
        QVERIFY2(shown.contains("Formatted name: 张伟") && shown.contains("zw@example.com") &&
                     shown.contains("Birthday: '1990-05-17'"),
                 shown.constData());
        QVERIFY(khard(
            {u"new"_s, u"-a"_s, u"main"_s, u"-i"_s, test::dataFile(u"exchange/khard-new.yaml"_s)}));
        QVERIFY(
            khard({u"show"_s, u"--format"_s, u"vcard"_s, u"-o"_s, path(u"li.vcf"_s), u"李雷"_s}));
        QCOMPARE(readIntoNewBook(BookId::Contacts, ExchangeFormat::VCard, u"li.vcf"_s,
                                 u"姓名¦单位¦手机¦公司电话¦公司邮箱¦备注"_s),
                 u"李雷¦甲乙公司¦139¦010-5¦li@work.example¦第一行"_s);
    }

    // buku reads our bookmark file, and its export comes back in as we wrote it.
    void bukuBothWays() {
        if (QStandardPaths::findExecutable(u"buku"_s).isEmpty())
            QSKIP("buku is not installed (scripts/install-deps.sh installs it)");
        qputenv("XDG_DATA_HOME", path(u"data"_s).toUtf8()); // where buku keeps its database
        QVERIFY(QDir().mkpath(path(u"data"_s)));
        fill(m_b->websites(), u"buku websites"_s);
        QVERIFY(writeBookFile(m_b->websites(), ExchangeFormat::Bookmarks, path(u"w.html"_s)));
        // --nostdin: buku otherwise takes its standard input as more arguments.
        const QStringList buku{u"--nostdin"_s, u"--nc"_s, u"--tacit"_s};
        QVERIFY(runs(u"buku"_s, buku + QStringList{u"-i"_s, path(u"w.html"_s)}));
        QVERIFY(runs(u"buku"_s, buku + QStringList{u"-e"_s, path(u"buku.html"_s)}));
        QCOMPARE(
            readIntoNewBook(BookId::Websites, ExchangeFormat::Bookmarks, u"buku.html"_s,
                            u"网址名称¦网址¦注册名¦备注"_s),
            u"新浪 & <b>¦http://sina.example/?a=1&b=2¦user¦说明¶百度¦https://baidu.example/¦¦"_s);
    }
};

QTEST_GUILESS_MAIN(TestExchange)
#include "tst_exchange.moc"
