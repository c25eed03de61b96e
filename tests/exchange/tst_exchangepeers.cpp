#include "books.h"
#include "exchange/exchangecommands.h"
#include "platform/scriptedplatform.h"
#include "testfiles.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace qb;
using namespace Qt::StringLiterals;

namespace {

const QString kPython = u"/usr/bin/python3"_s;

struct Run {
    int exitCode = -1;
    QByteArray out;
};

// Runs a program to its end with the given input; a program that hangs fails the test.
Run run(const QString& program, const QStringList& args, const QByteArray& input = {},
        const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(program, args);
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    return {process.exitCode(), process.readAllStandardOutput()};
}

bool hasVobject() {
    return QFile::exists(kPython) && run(kPython, {u"-c"_s, u"import vobject"_s}).exitCode == 0;
}

// Reads every card of the file with vobject and prints what it understood, as JSON.
const char kVobjectRead[] = R"(
import json, sys, vobject
cards = []
for card in vobject.readComponents(open(sys.argv[1], encoding='utf-8').read()):
    c = card.contents
    cards.append({
        'fn': card.fn.value,
        'note': c['note'][0].value if 'note' in c else '',
        'org': c['org'][0].value if 'org' in c else [],
        'speciality': c['x-quillbox-speciality'][0].value if 'x-quillbox-speciality' in c else '',
        'street': [a.value.street for a in c.get('adr', [])],
        'tel': sorted(t.value for t in c.get('tel', [])),
    })
print(json.dumps(cards))
)";

const char kVobjectWrite[] = R"(
import sys, vobject
card = vobject.vCard()
card.add('fn').value = '王 小明'
card.add('n').value = vobject.vcard.Name(family='王', given='小明')
email = card.add('email'); email.value = 'xm@work.example'; email.type_param = 'WORK'
tel = card.add('tel'); tel.value = '139 0000'; tel.type_param = 'CELL'
card.add('note').value = '一, 二; 三\\ 四\n第二行 😀'
card.add('org').value = ['公司, 总部', '部门']
adr = card.add('adr'); adr.value = vobject.vcard.Address(street='长安街 1 号', city='北京', country='中国'); adr.type_param = 'HOME'
card.add('bday').value = '1985-03-04'
open(sys.argv[1], 'w', encoding='utf-8', newline='').write(card.serialize())
)";

} // namespace

class TestExchangePeers : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ScopedScriptedPlatform> m_platform;
    std::unique_ptr<RecordStore> m_store;

    QString path(const QString& name) const { return m_dir->filePath(name); }
    BookDataset& book(BookId id) { return m_store->book(id); }
    QString value(BookId id, int row, const QString& column) {
        return book(id).rowValueText(row, book(id).columnIndex(column));
    }

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China)); }
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_platform = std::make_unique<ScopedScriptedPlatform>();
        m_store = std::make_unique<RecordStore>();
        m_store->openDatabase(test::createBookFile(m_dir->path()));
    }
    void cleanup() {
        m_store.reset();
        m_platform.reset();
        m_dir.reset();
    }

    void vobjectReadsEveryCard() {
        if (!hasVobject())
            QSKIP("python3-vobject is not installed (scripts/install-deps.sh installs it)");
        QStringList values(25);
        values[0] = u"张伟"_s;
        values[6] = u"138"_s;
        values[8] = QString(40, u'书');
        values[11] = u"北京"_s;
        values[12] = u"朝阳路 1 号; 2 单元"_s;
        values[13] = u"010-1"_s;
        values[16] = u"甲乙, 有限公司"_s;
        values[17] = u"研发;一部"_s;
        values[24] = u"多行\n备注 😀 \\ 反斜杠"_s;
        test::addRecord(book(BookId::Contacts), values);
        test::addRecord(book(BookId::Contacts), {u"李四"_s});
        QVERIFY(writeBookFile(book(BookId::Contacts), ExchangeFormat::VCard, path(u"c.vcf"_s)));
        const Run read = run(kPython, {u"-c"_s, QString::fromUtf8(kVobjectRead), path(u"c.vcf"_s)});
        QCOMPARE(read.exitCode, 0);
        const QJsonArray cards = QJsonDocument::fromJson(read.out).array();
        QCOMPARE(cards.size(), 2);
        const QJsonObject zhang = cards[0].toObject(); // key order: 张 before 李
        QCOMPARE(zhang[u"fn"_s].toString(), u"张伟"_s);
        QCOMPARE(zhang[u"note"_s].toString(), u"多行\n备注 😀 \\ 反斜杠"_s);
        QCOMPARE(zhang[u"org"_s].toArray(), QJsonArray({u"甲乙, 有限公司"_s, u"研发;一部"_s}));
        QCOMPARE(zhang[u"speciality"_s].toString(), QString(40, u'书'));
        QCOMPARE(zhang[u"street"_s].toArray(), QJsonArray({u"朝阳路 1 号; 2 单元"_s}));
        QCOMPARE(zhang[u"tel"_s].toArray(), QJsonArray({u"010-1"_s, u"138"_s}));
        QCOMPARE(cards[1].toObject()[u"fn"_s].toString(), u"李四"_s);
    }

    void vobjectCardIsRead() {
        if (!hasVobject())
            QSKIP("python3-vobject is not installed (scripts/install-deps.sh installs it)");
        QCOMPARE(
            run(kPython, {u"-c"_s, QString::fromUtf8(kVobjectWrite), path(u"v.vcf"_s)}).exitCode,
            0);
        const ExchangeImportReport report =
            readBookFile(book(BookId::Contacts), ExchangeFormat::VCard, path(u"v.vcf"_s), nullptr);
        QCOMPARE(report.added, 1);
        const QList<std::pair<QString, QString>> expected = {
            {u"姓名"_s, u"王 小明"_s},
            {u"公司邮箱"_s, u"xm@work.example"_s},
            {u"手机"_s, u"139 0000"_s},
            {u"备注"_s, u"一, 二; 三\\ 四\n第二行 😀"_s},
            {u"单位"_s, u"公司, 总部"_s},
            {u"部门"_s, u"部门"_s},
            {u"家庭地址"_s, u"长安街 1 号"_s},
            {u"市"_s, u"北京"_s},
            {u"国家"_s, u"中国"_s},
            {u"生日"_s, u"1985/3/4"_s},
        };
        for (const auto& [column, text] : expected)
            QCOMPARE(value(BookId::Contacts, 0, column), text);
    }

    // khard keeps one card per file: it lists ours, and what it writes comes in.
    void khardBothWays() {
        if (QStandardPaths::findExecutable(u"khard"_s).isEmpty())
            QSKIP("khard is not installed (scripts/install-deps.sh installs it)");
        QVERIFY(QDir().mkpath(path(u"book"_s)));
        test::writeBytes(path(u"khard.conf"_s),
                         "[addressbooks]\n[[main]]\npath = " + path(u"book"_s).toUtf8() +
                             "\n[general]\ndefault_action = list\neditor = true\n"
                             "merge_editor = true\n");
        const QStringList config{u"-c"_s, path(u"khard.conf"_s)};
        test::addRecord(book(BookId::Contacts),
                        {u"张伟"_s, u"zw@example.com"_s, {}, {}, u"1990-05-17"_s});
        QVERIFY(writeBookFile(book(BookId::Contacts), ExchangeFormat::VCard, path(u"book/zw.vcf"_s),
                              true));
        const Run shown =
            run(u"khard"_s, config + QStringList{u"show"_s, u"--format"_s, u"yaml"_s, u"张伟"_s});
        QCOMPARE(shown.exitCode, 0);
        QVERIFY2(shown.out.contains("Formatted name: 张伟") &&
                     shown.out.contains("zw@example.com") &&
                     shown.out.contains("Birthday: '1990-05-17'"),
                 shown.out.constData());

        test::writeBytes(path(u"li.yaml"_s),
                         "Formatted name: 李雷\nLast name: 李\nFirst name: 雷\n"
                         "Organisation: 甲乙公司\nPhone:\n    cell: '139'\n"
                         "    work: '010-5'\nEmail:\n    work: li@work.example\n"
                         "Note: 第一行\n");
        QCOMPARE(run(u"khard"_s, config + QStringList{u"new"_s, u"-a"_s, u"main"_s, u"-i"_s,
                                                      path(u"li.yaml"_s)})
                     .exitCode,
                 0);
        QCOMPARE(run(u"khard"_s, config + QStringList{u"show"_s, u"--format"_s, u"vcard"_s, u"-o"_s,
                                                      path(u"li.vcf"_s), u"李雷"_s})
                     .exitCode,
                 0);
        QCOMPARE(
            readBookFile(book(BookId::Contacts), ExchangeFormat::VCard, path(u"li.vcf"_s), nullptr)
                .added,
            1);
        const int li = 1; // 张 before 李 in key order
        QCOMPARE(value(BookId::Contacts, li, u"姓名"_s), u"李雷"_s);
        QCOMPARE(value(BookId::Contacts, li, u"单位"_s), u"甲乙公司"_s);
        QCOMPARE(value(BookId::Contacts, li, u"手机"_s), u"139"_s);
        QCOMPARE(value(BookId::Contacts, li, u"公司电话"_s), u"010-5"_s);
        QCOMPARE(value(BookId::Contacts, li, u"公司邮箱"_s), u"li@work.example"_s);
        QCOMPARE(value(BookId::Contacts, li, u"备注"_s), u"第一行"_s);
    }

    // buku imports our bookmark file, and its export comes back in.
    void bukuBothWays() {
        if (QStandardPaths::findExecutable(u"buku"_s).isEmpty())
            QSKIP("buku is not installed (scripts/install-deps.sh installs it)");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"XDG_DATA_HOME"_s, path(u"data"_s));
        QVERIFY(QDir().mkpath(path(u"data"_s)));
        test::addRecord(book(BookId::Websites),
                        {u"新浪 & <b>"_s, u"http://sina.example/?a=1&b=2"_s, u"user"_s, u"说明"_s});
        test::addRecord(book(BookId::Websites), {u"百度"_s, u"https://baidu.example/"_s});
        QVERIFY(
            writeBookFile(book(BookId::Websites), ExchangeFormat::Bookmarks, path(u"w.html"_s)));
        // --nostdin: buku otherwise takes its standard input as more arguments.
        QCOMPARE(run(u"buku"_s,
                     {u"--nostdin"_s, u"--nc"_s, u"--tacit"_s, u"-i"_s, path(u"w.html"_s)}, {}, env)
                     .exitCode,
                 0);
        const Run listed = run(u"buku"_s, {u"--nostdin"_s, u"--nc"_s, u"-p"_s, u"-j"_s}, {}, env);
        const QJsonArray marks = QJsonDocument::fromJson(listed.out).array();
        QCOMPARE(marks.size(), 2);
        QCOMPARE(marks[0].toObject()[u"title"_s].toString(), u"新浪 & <b>"_s);
        QCOMPARE(marks[0].toObject()[u"uri"_s].toString(), u"http://sina.example/?a=1&b=2"_s);
        QCOMPARE(marks[0].toObject()[u"description"_s].toString(), u"注册名：user\n说明"_s);

        QCOMPARE(run(u"buku"_s,
                     {u"--nostdin"_s, u"--nc"_s, u"--tacit"_s, u"-e"_s, path(u"buku.html"_s)}, {},
                     env)
                     .exitCode,
                 0);
        auto copy = std::make_unique<RecordStore>();
        copy->openDatabase(test::createBookFile(m_dir->path(), u"copy.mdb"_s));
        QCOMPARE(readBookFile(copy->book(BookId::Websites), ExchangeFormat::Bookmarks,
                              path(u"buku.html"_s), nullptr)
                     .added,
                 2);
        const BookDataset& sites = copy->book(BookId::Websites);
        QCOMPARE(sites.rowValueText(1, 0), u"百度"_s);
        QCOMPARE(sites.rowValueText(1, 1), u"https://baidu.example/"_s);
        QCOMPARE(sites.rowValueText(0, 2), u"user"_s);
        QCOMPARE(sites.rowValueText(0, 3), u"说明"_s);
    }
};

QTEST_GUILESS_MAIN(TestExchangePeers)
#include "tst_exchangepeers.moc"
