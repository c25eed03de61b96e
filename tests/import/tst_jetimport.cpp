#include "import/csvreader.h"
#include "import/jetimport.h"
#include "store/dataerror.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sqlite3.h>

using namespace qb;
using namespace Qt::StringLiterals;

namespace {

const QString kNull = u"∅"_s;
using Rows = QList<QStringList>;
using Field = std::pair<const char*, QString>;

QString jetFixture(const char* name) {
    return QStringLiteral(QB_JET_DATA "/%1").arg(QString::fromLatin1(name));
}

// A record of the book in table order; the columns not named are empty.
QStringList record(BookId book, std::initializer_list<Field> fields) {
    const QStringList& columns = tableSchema(book).columnNames;
    QStringList values(columns.size(), kNull);
    for (const auto& [column, value] : fields)
        values[columns.indexOf(QString::fromUtf8(column))] = value;
    return values;
}

Rows tableRows(const QString& file, const QString& table) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(QFile::encodeName(file).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, qPrintable(u"SELECT * FROM %1 ORDER BY rowid"_s.arg(table)), -1, &stmt,
                       nullptr);
    Rows rows;
    while (stmt && sqlite3_step(stmt) == SQLITE_ROW) {
        QStringList row;
        for (int c = 0; c < sqlite3_column_count(stmt); ++c)
            row << (sqlite3_column_type(stmt, c) == SQLITE_NULL
                        ? kNull
                        : QString::fromUtf8(
                              reinterpret_cast<const char*>(sqlite3_column_text(stmt, c))));
        rows << row;
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return rows;
}

QByteArray readAll(const QString& file) {
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const QString& file, const QByteArray& bytes, QFile::Permissions permissions = {}) {
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    f.close();
    if (permissions)
        QVERIFY(f.setPermissions(permissions));
}

const QString kUnreadableDate =
    u"mdbtools 读不出这个日期（早于 1899-12-30 或晚于 4637-11-26），没有导入"_s;
const QString kQuestionMarks =
    u"含有“??”，可能是 mdbtools 读不出的字符（如表情符号、生僻字），已照原样导入，请核对"_s;

} // namespace

class TestJetImport : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;

    QString path(const QString& name) const { return m_dir->filePath(name); }

private Q_SLOTS:
    // The tools must get their UTF-8 locale from the importer, not from whoever started it.
    void initTestCase() { qputenv("LC_ALL", "C"); }
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }
    void cleanup() { m_dir.reset(); }

    void importsEveryRecord_data() {
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<Rows>("contacts");
        QTest::addColumn<Rows>("websites");
        QTest::addColumn<Rows>("serials");
        QTest::addColumn<QStringList>("report");
        QTest::addColumn<qint64>("read"); // records the progress counts at the end
        const BookId c = BookId::Contacts;
        const BookId w = BookId::Websites;
        const BookId s = BookId::Serials;
        // Three books with every column, Chinese text, blanks padding the fixed-width columns,
        // dates with and without a time of day, memo text with quotes, commas and line breaks.
        QTest::newRow("all columns")
            << u"books.mdb"_s
            << Rows{record(c, {{"姓名", u"张三"_s},
                               {"邮箱", u"zhangsan@example.cn"_s},
                               {"QQ", u"10001"_s},
                               {"主页", u"http://zhangsan.example.cn/"_s},
                               {"生日", u"1980-02-29"_s},
                               {"性别", u"男"_s},
                               {"手机", u"13800138000"_s},
                               {"身份证", u"110101198002290011"_s},
                               {"特长", u"书法、围棋"_s},
                               {"国家", u"中国"_s},
                               {"省", u"北京"_s},
                               {"市", u"北京"_s},
                               {"家庭地址", u"东城区东四十条 1 号"_s},
                               {"电话", u"010-64000001"_s},
                               {"传真", u"010-64000002"_s},
                               {"邮编", u"100007"_s},
                               {"单位", u"北京墨香文化有限公司"_s},
                               {"部门", u"编辑部"_s},
                               {"职务", u"主编"_s},
                               {"公司电话", u"010-65000001"_s},
                               {"公司邮箱", u"zs@moxiang.example.cn"_s},
                               {"公司主页", u"http://moxiang.example.cn/"_s},
                               {"公司城市", u"北京"_s},
                               {"公司地址", u"朝阳区建国路 88 号"_s},
                               {"备注", u"第一行\r\n第二行：“引号”、\"双引号\", 逗号"_s}}),
                    record(c, {{"姓名", u"李四"_s},
                               {"QQ", u"20002"_s},
                               {"生日", u"1975-12-31 08:30:00"_s},
                               {"性别", u"女"_s},
                               {"手机", u"13900139000"_s},
                               {"国家", u"中国"_s},
                               {"省", u"广东"_s},
                               {"市", u"广州"_s},
                               {"备注", u"  前后有空格  "_s}}),
                    record(c, {{"姓名", u"王小明"_s},
                               {"邮箱", u"wxm@example.cn"_s},
                               {"特长", QString(255, u'长')},
                               {"备注", QString(255, u'备')}})}
            << Rows{record(w, {{"网址名称", u"新浪网"_s},
                               {"网址", u"https://www.sina.com.cn/?a=1,b=\"2\""_s},
                               {"注册名", u"老张"_s},
                               {"备注", u"常用"_s}}),
                    record(w, {{"网址名称", u"百度"_s}, {"网址", u"https://www.baidu.com/"_s}})}
            << Rows{record(s, {{"名称版本号", u"WPS Office 2003"_s},
                               {"版本类型", u"专业版"_s},
                               {"序列号本身", u"ABCDE-12345-FGHIJ"_s},
                               {"认证码", u"认证-0001"_s},
                               {"备注", u"2004 年购于中关村\r\n发票在抽屉里"_s}}),
                    record(s, {{"名称版本号", u"金山词霸 2005"_s},
                               {"版本类型", u"个人版"_s},
                               {"序列号本身", u"KS-2005-XYZ"_s}})}
            << QStringList{u"联系人（lianxi1）：导入 3 条记录"_s, u"网址（wzsk1）：导入 2 条记录"_s,
                           u"序列号（xuliehao1）：导入 2 条记录"_s, QString(),
                           u"每条记录都已原样导入。"_s}
            << qint64(7);
        // Extra, missing and differently cased columns and tables, and every kind of value
        // that cannot come over as it is.
        QTest::newRow("problems")
            << u"odd.mdb"_s
            << Rows{record(c, {{"姓名", u"甲"_s}, {"QQ", u"123"_s}, {"备注", u"早于 1899 年"_s}}),
                    record(c, {{"姓名", u"乙??"_s}}),
                    record(c, {{"姓名", u"丙"_s}, {"生日", u"2000-01-01"_s}}),
                    record(c, {{"姓名", u"丁"_s}}),
                    record(c, {{"姓名", u"戊"_s},
                               {"生日", u"2001-02-03 04:05:06"_s},
                               {"备注", u"笑??"_s}})}
            << Rows{record(w, {{"网址名称", u"中文网址"_s}, {"网址", u"http://例子.中国/"_s}})}
            << Rows{}
            << QStringList{u"联系人（lianxi1）：导入 5 条记录"_s,
                           u"网址（wzsk1）：导入 1 条记录"_s,
                           u"序列号（xuliehao1）：导入 0 条记录"_s,
                           QString(),
                           u"表和字段："_s,
                           u"  "
                           u"表“lianxi1”中没有字段“主页”、“性别”、“手机”、“身份证”、“特长”、“国家”"
                           u"、"
                           "“省”、“市”、“家庭地址”、“电话”、“传真”、“邮编”、“单位”、“部门”、“职务”"
                           "、"
                           "“公司电话”、“公司邮箱”、“公司主页”、“公司城市”、“公司地址”：联系人（lia"
                           "nxi1）"
                           "的这些项都是空的。"_s,
                           u"  表“lianxi1”的字段“旧编号”在 Quillbox 中没有对应的字段，没有导入。"_s,
                           u"  表“WZSK1”中没有字段“注册名”、“备注”：网址（wzsk1）的这些项都是空的。"_s,
                           u"  没有表“xuliehao1”：序列号（xuliehao1）没有导入任何记录。"_s,
                           u"  表“通讯录备份”不是 Quillbox 的表，没有导入。"_s,
                           QString(),
                           u"没有导入或有改动的记录和字段（共 11 处）："_s,
                           u"  联系人 第 1 条（甲）：生日："_s + kUnreadableDate,
                           u"  联系人 第 2 条（乙??）：姓名："_s + kQuestionMarks,
                           u"  联系人 第 2 条（乙??）：生日："_s + kUnreadableDate,
                           u"  联系人 第 3 条：姓名为空，这条记录没有导入"_s,
                           u"  联系人 第 4 条（甲）：姓名与前面的记录重复，这条记录没有导入"_s,
                           u"  联系人 第 5 条（丙）：邮箱：有 51 个字符，超过了字段的宽度 50，没有导入（原文："_s +
                               QString(40, u'x') + u"…）"_s,
                           u"  联系人 第 6 条（丁）：备注：有 256 个字符，超过了字段的宽度 255，没有导入（原文："_s +
                               QString(40, u'备') + u"…）"_s,
                           u"  联系人 第 7 条（戊）：备注："_s + kQuestionMarks,
                           u"  联系人 第 8 条：姓名为空，这条记录没有导入"_s,
                           u"  联系人 第 9 条（%1）：姓名：有 51 个字符，超过了字段的宽度 50，没有导入（原文：%2…）"_s
                               .arg(QString(51, u'己'), QString(40, u'己')),
                           u"  联系人 第 9 条（%1）：这条记录没有导入"_s.arg(QString(51, u'己'))}
            << qint64(10);
    }
    void importsEveryRecord() {
        QFETCH(QString, fixture);
        QFETCH(Rows, contacts);
        QFETCH(Rows, websites);
        QFETCH(Rows, serials);
        QFETCH(QStringList, report);
        QFETCH(qint64, read);
        const QString source = path(fixture);
        QVERIFY(QFile::copy(jetFixture(qPrintable(fixture)), source));
        const QByteArray before = readAll(source);
        const QString target = path(u"new.mdb"_s);
        qint64 lastDone = -1;
        const std::optional<ImportReport> result =
            importJetFile(source, target, [&](qint64 done, qint64) {
                lastDone = done;
                return true;
            });
        QVERIFY(result);
        QCOMPARE(tableRows(target, u"lianxi1"_s), contacts);
        QCOMPARE(tableRows(target, u"wzsk1"_s), websites);
        QCOMPARE(tableRows(target, u"xuliehao1"_s), serials);
        QCOMPARE(result->lines().mid(3), report);
        QCOMPARE(result->lines().mid(0, 3),
                 (QStringList{u"Access 数据库："_s + source, u"新的 Quillbox 数据库："_s + target,
                              QString()}));
        QCOMPARE(lastDone, read);
        QCOMPARE(readAll(source), before);
        // Only the new database is left beside the Access file: no journal, no part file.
        QStringList left{fixture, u"new.mdb"_s};
        left.sort();
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden), left);
    }

    void failureOrCancelLeavesNothing_data() {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QString>("error"); // empty: the import is cancelled
        QTest::newRow("truncated") << u"truncated"_s << u"无法读取 Access 数据库文件"_s;
        QTest::newRow("random bytes in its pages")
            << u"random"_s << u"无法读取 Access 数据库文件"_s;
        // mdb-export skips the rows it cannot read with a warning and still succeeds.
        QTest::newRow("random bytes in a records page")
            << u"records page"_s << u"无法读取 Access 数据库文件"_s;
        QTest::newRow("tool hangs") << u"hang"_s << u"没有结果，已停止"_s;
        QTest::newRow("tool prints endlessly") << u"endless"_s << u"比文件能容纳的还多"_s;
        QTest::newRow("tools missing") << u"no tools"_s << u"请先安装软件包 mdbtools"_s;
        QTest::newRow("target exists") << u"target exists"_s << u"已经存在，没有导入"_s;
        QTest::newRow("folder cannot be written") << u"no folder"_s << u"无法在“"_s;
        QTest::newRow("cancelled") << u"cancel"_s << QString();
    }
    void failureOrCancelLeavesNothing() {
        QFETCH(QString, damage);
        QFETCH(QString, error);
        const QString source = path(u"old.mdb"_s);
        QByteArray bytes = readAll(jetFixture("books.mdb"));
        if (damage == u"truncated"_s)
            bytes.truncate(5 * 4096);
        if (damage == u"records page"_s)
            QRandomGenerator(17).fillRange(reinterpret_cast<quint32*>(bytes.data() + 6 * 4096),
                                           4096 / 4);
        if (damage == u"random"_s)
            QRandomGenerator(17).fillRange(reinterpret_cast<quint32*>(bytes.data() + 2 * 4096),
                                           (bytes.size() - 2 * 4096) / 4);
        writeAll(source, bytes);
        // A folder that is a file: no new file can be made in it, even by root.
        const QString target =
            damage == u"no folder"_s ? path(u"old.mdb/new.mdb"_s) : path(u"new.mdb"_s);
        if (damage == u"target exists"_s)
            writeAll(target, "mine");
        QString tools;
        if (damage == u"no tools"_s || damage == u"hang"_s || damage == u"endless"_s)
            tools = path(u"tools"_s);
        QVERIFY(QDir().mkpath(path(u"tools"_s)));
        const QString pidFile = path(u"tools/pid"_s);
        if (damage == u"hang"_s || damage == u"endless"_s) {
            const QFile::Permissions exec = QFile::ReadOwner | QFile::ExeOwner;
            writeAll(path(u"tools/mdb-tables"_s), "#!/bin/sh\necho lianxi1\n", exec);
            writeAll(path(u"tools/mdb-count"_s), "#!/bin/sh\necho 3\n", exec);
            writeAll(path(u"tools/mdb-export"_s),
                     "#!/bin/sh\necho $$ > \"$(dirname \"$0\")/pid\"\necho 姓名\nexec " +
                         QByteArray(damage == u"hang"_s ? "sleep 20" : "yes '\"x\"'") + "\n",
                     exec);
        }
        const QStringList entries = QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden);
        QElapsedTimer timer;
        timer.start();
        QString thrown;
        std::optional<ImportReport> report;
        try {
            report = importJetFile(
                source, target, [&](qint64, qint64) { return damage != u"cancel"_s; },
                MdbTools(tools, 300));
        } catch (const DataError& e) {
            thrown = e.message();
        }
        QVERIFY2(timer.elapsed() < 5000, qPrintable(QString::number(timer.elapsed())));
        if (error.isEmpty()) {
            QVERIFY(thrown.isEmpty());
            QVERIFY(!report);
        } else {
            QVERIFY2(thrown.contains(error), qPrintable(thrown));
        }
        QCOMPARE(readAll(source), bytes);
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden), entries);
        if (!tools.isEmpty() && damage != u"no tools"_s) {
            const int pid = readAll(pidFile).trimmed().toInt();
            QVERIFY(pid > 0);
            QCOMPARE(::kill(pid, 0), -1); // killed, not left running
        }
    }

    // mdb-export's output arrives in pieces of any size; a quoted value may hold commas,
    // doubled quotes and line breaks.
    void csvInAnyPieces() {
        const QByteArray output = "a,b,c\n\"x, \"\"y\"\"\r\nz\",,7\n\"\",\"\"\"\",\"q\"";
        const QList<QList<QByteArray>> expected{
            {"a", "b", "c"}, {"x, \"y\"\r\nz", "", "7"}, {"", "\"", "q"}};
        for (int piece = 1; piece <= output.size(); ++piece) {
            QList<QList<QByteArray>> rows;
            MdbCsvReader reader([&rows](const QList<QByteArrayView>& fields) {
                QList<QByteArray> copied;
                for (const QByteArrayView field : fields)
                    copied << field.toByteArray();
                rows << copied;
            });
            for (int at = 0; at < output.size(); at += piece)
                reader.feed(
                    QByteArrayView(output).sliced(at, std::min(piece, int(output.size()) - at)));
            reader.finish();
            QCOMPARE(rows, expected);
        }
    }
};

QTEST_GUILESS_MAIN(TestJetImport)
#include "tst_jetimport.moc"
