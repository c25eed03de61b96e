#include "openbooks.h"
#include "widgets/bookgridmodel.h"

#include <QAbstractItemModelTester>
#include <QTest>
#include <functional>

using namespace qb;
using namespace Qt::StringLiterals;

namespace {

using Step = std::function<void(BookDataset&)>;
using Steps = QList<Step>;

const Step append = [](BookDataset& b) { b.append(); };
const Step insert = [](BookDataset& b) { b.insert(); };
const Step post = [](BookDataset& b) { b.post(); };
const Step cancel = [](BookDataset& b) { b.cancel(); };
const Step deleteRecord = [](BookDataset& b) { b.remove(); };
const Step last = [](BookDataset& b) { b.last(); };
const Step refresh = [](BookDataset& b) { b.refresh(); };
const Step closeBook = [](BookDataset& b) { b.close(); };
Step moveTo(int row) {
    return [row](BookDataset& b) { b.moveTo(row); };
}
Step type(const QString& key) {
    return [key](BookDataset& b) { b.setFieldText(0, key); };
}

// The one-letter keys of the model's rows, in row order.
QString keys(const QAbstractItemModel& model) {
    QString texts;
    for (int row = 0; row < model.rowCount(); ++row)
        texts += model.index(row, 0).data().toString();
    return texts;
}

QStringList indicators(const QAbstractItemModel& model) {
    QStringList marks;
    for (int row = 0; row < model.rowCount(); ++row)
        marks << model.headerData(row, Qt::Vertical).toString();
    return marks;
}

} // namespace

Q_DECLARE_METATYPE(Steps)

class TestBookGridModel : public QObject {
    Q_OBJECT

    std::unique_ptr<test::OpenBooks> m_books;

    BookDataset& contacts() { return m_books->contacts(); }

private Q_SLOTS:
    void init() {
        m_books = std::make_unique<test::OpenBooks>();
        for (const QString& name : {u"b"_s, u"d"_s, u"f"_s})
            test::addRecord(contacts(), {name});
        contacts().refresh();
        contacts().first();
    }
    void cleanup() { m_books.reset(); }

    // Every change of the dataset reaches the model as consistent model signals, and the
    // model then shows exactly the dataset's rows.
    void followsDatasetChanges_data() {
        QTest::addColumn<Steps>("steps");
        QTest::addColumn<QString>("rows");
        QTest::newRow("append, cancel") << Steps{append, cancel} << u"bdf"_s;
        QTest::newRow("insert in the middle, cancel")
            << Steps{moveTo(1), insert, cancel} << u"bdf"_s;
        QTest::newRow("insert, typed, moved away")
            << Steps{moveTo(1), insert, type(u"c"_s), moveTo(0)} << u"bcdf"_s;
        QTest::newRow("insert untouched, moved away")
            << Steps{moveTo(2), insert, moveTo(0)} << u"bdf"_s;
        QTest::newRow("edit, cancel") << Steps{moveTo(1), type(u"x"_s), cancel} << u"bdf"_s;
        QTest::newRow("edit, post") << Steps{moveTo(1), type(u"x"_s), post} << u"bxf"_s;
        QTest::newRow("delete last") << Steps{last, deleteRecord} << u"bd"_s;
        QTest::newRow("delete while editing")
            << Steps{moveTo(1), type(u"x"_s), deleteRecord} << u"bf"_s;
        QTest::newRow("delete all") << Steps{deleteRecord, deleteRecord, deleteRecord} << QString();
        QTest::newRow("append, post") << Steps{append, type(u"a"_s), post} << u"bdfa"_s;
        QTest::newRow("post, refresh") << Steps{append, type(u"a"_s), post, refresh} << u"abdf"_s;
        QTest::newRow("close") << Steps{closeBook} << QString();
    }
    void followsDatasetChanges() {
        QFETCH(Steps, steps);
        QFETCH(QString, rows);
        BookGridModel model(contacts());
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        for (const Step& step : steps)
            step(contacts());
        QCOMPARE(model.rowCount(), contacts().rowCount());
        QCOMPARE(keys(model), rows);
        QCOMPARE(model.columnCount(), contacts().isActive() ? 25 : 0);
        m_books->store.reopenBooks();
        QCOMPARE(model.rowCount(), contacts().recordCount());
        QCOMPARE(model.columnCount(), 25);
    }

    void titlesAreColumnNamesInTableOrder() {
        BookGridModel model(contacts());
        QStringList titles;
        for (int column = 0; column < model.columnCount(); ++column)
            titles << model.headerData(column, Qt::Horizontal).toString();
        QCOMPARE(titles.join(u' '),
                 u"姓名 邮箱 QQ 主页 生日 性别 手机 身份证 特长 国家 省 市 家庭地址 "
                 "电话 传真 邮编 单位 部门 职务 公司电话 公司邮箱 公司主页 "
                 "公司城市 公司地址 备注"_s);
        QVERIFY(!(model.flags(model.index(0, 0)) & Qt::ItemIsEditable));
    }

    void indicatorMarksCurrentRecordAndState() {
        BookGridModel model(contacts());
        const QString current = u"▶"_s;
        QCOMPARE(indicators(model), (QStringList{current, {}, {}}));
        contacts().moveTo(2);
        QCOMPARE(indicators(model), (QStringList{{}, {}, current}));
        contacts().edit();
        QCOMPARE(indicators(model), (QStringList{{}, {}, u"I"_s}));
        contacts().moveTo(0);
        contacts().insert();
        QCOMPARE(indicators(model), (QStringList{u"*"_s, {}, {}, {}}));
        contacts().cancel();
        QCOMPARE(indicators(model), (QStringList{current, {}, {}}));
    }

    void lineBreaksShowAsMark() {
        BookGridModel model(contacts());
        const int note = contacts().columnIndex(u"备注"_s);
        contacts().setFieldText(note, u"a\r\nb\nc"_s);
        contacts().post();
        QCOMPARE(model.index(0, note).data().toString(), u"a↵b↵c"_s);
        QCOMPARE(contacts().valueText(note), u"a\r\nb\nc"_s);
    }
};

QTEST_MAIN(TestBookGridModel)
#include "tst_bookgridmodel.moc"
