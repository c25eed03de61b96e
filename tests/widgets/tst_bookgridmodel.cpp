#include "openbooks.h"
#include "widgets/bookgridmodel.h"

#include <QAbstractItemModelTester>
#include <QTest>

using namespace qb;
using namespace Qt::StringLiterals;

namespace {

// Steps on the dataset, one letter each: a append, i insert, e edit, p post, c cancel,
// d delete, l last, r refresh, x close, a digit moves to that row, "=k" types the key k.
void play(BookDataset& book, const QString& steps) {
    using B = BookDataset;
    static const QList<void (B::*)()> actions{&B::append, &B::insert,  &B::edit,
                                              &B::post,   &B::cancel,  &B::remove,
                                              &B::last,   &B::refresh, &B::close};
    for (qsizetype i = 0; i < steps.size(); ++i) {
        if (steps[i].isDigit())
            book.moveTo(steps[i].digitValue());
        else if (steps[i] == u'=')
            book.setFieldText(0, steps[++i]);
        else
            (book.*actions[u"aiepcdlrx"_s.indexOf(steps[i])])();
    }
}

// The model's header texts (or the first column's cells) joined, a blank shown as ".".
QString texts(const QAbstractItemModel& model, Qt::Orientation orientation, bool cells = false) {
    QStringList texts;
    const int count = orientation == Qt::Vertical ? model.rowCount() : model.columnCount();
    for (int i = 0; i < count; ++i) {
        const QVariant text = cells ? model.index(i, 0).data() : model.headerData(i, orientation);
        texts << (text.toString().isEmpty() ? u"."_s : text.toString());
    }
    return texts.join(cells ? u""_s : u" "_s);
}

} // namespace

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
    // model then shows exactly the dataset's rows and marks the current one and its state.
    void followsDatasetChanges_data() {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("rows");
        QTest::addColumn<QString>("marks"); // empty: not looked at
        QTest::newRow("nothing") << u""_s << u"bdf"_s << u"▶ . ."_s;
        QTest::newRow("moved") << u"2"_s << u"bdf"_s << u". . ▶"_s;
        QTest::newRow("edit") << u"2e"_s << u"bdf"_s << u". . I"_s;
        QTest::newRow("insert first") << u"0i"_s << u".bdf"_s << u"* . . ."_s;
        QTest::newRow("insert, cancel") << u"0ic"_s << u"bdf"_s << u"▶ . ."_s;
        QTest::newRow("append, cancel") << u"ac"_s << u"bdf"_s << QString();
        QTest::newRow("insert in the middle, cancel") << u"1ic"_s << u"bdf"_s << QString();
        QTest::newRow("insert, typed, moved away") << u"1i=c0"_s << u"bcdf"_s << QString();
        QTest::newRow("insert untouched, moved away") << u"2i0"_s << u"bdf"_s << QString();
        QTest::newRow("edit, cancel") << u"1=xc"_s << u"bdf"_s << QString();
        QTest::newRow("edit, post") << u"1=xp"_s << u"bxf"_s << QString();
        QTest::newRow("delete last") << u"ld"_s << u"bd"_s << QString();
        QTest::newRow("delete while editing") << u"1=xd"_s << u"bf"_s << QString();
        QTest::newRow("delete all") << u"ddd"_s << QString() << QString();
        QTest::newRow("append, post") << u"a=ap"_s << u"bdfa"_s << QString();
        QTest::newRow("post, refresh") << u"a=apr"_s << u"abdf"_s << QString();
        QTest::newRow("close") << u"x"_s << QString() << QString();
    }
    void followsDatasetChanges() {
        QFETCH(QString, steps);
        QFETCH(QString, rows);
        QFETCH(QString, marks);
        BookGridModel model(contacts());
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        play(contacts(), steps);
        QCOMPARE(model.rowCount(), contacts().rowCount());
        QCOMPARE(texts(model, Qt::Vertical, true), rows);
        if (!marks.isEmpty())
            QCOMPARE(texts(model, Qt::Vertical), marks);
        QCOMPARE(model.columnCount(), contacts().isActive() ? 25 : 0);
        m_books->store.reopenBooks();
        QCOMPARE(model.rowCount(), contacts().recordCount());
        QCOMPARE(model.columnCount(), 25);
    }

    // Titles are the column names in table order; cells are read-only and show line breaks
    // as a mark while the record keeps them.
    void showsTitlesAndText() {
        BookGridModel model(contacts());
        QCOMPARE(texts(model, Qt::Horizontal),
                 u"姓名 邮箱 QQ 主页 生日 性别 手机 身份证 特长 国家 省 市 家庭地址 "
                 "电话 传真 邮编 单位 部门 职务 公司电话 公司邮箱 公司主页 "
                 "公司城市 公司地址 备注"_s);
        QVERIFY(!(model.flags(model.index(0, 0)) & Qt::ItemIsEditable));
        const int note = contacts().columnIndex(u"备注"_s);
        contacts().setFieldText(note, u"a\r\nb\nc"_s);
        contacts().post();
        QCOMPARE(model.index(0, note).data().toString(), u"a↵b↵c"_s);
        QCOMPARE(contacts().valueText(note), u"a\r\nb\nc"_s);
    }
};

QTEST_MAIN(TestBookGridModel)
#include "tst_bookgridmodel.moc"
