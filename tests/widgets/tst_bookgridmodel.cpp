#include "openbooks.h"
#include "tables.h"
#include "widgets/bookgridmodel.h"

#include <QAbstractItemModelTester>
#include <QTest>

using namespace qb;
using namespace Qt::StringLiterals;

namespace {

// Steps on the dataset, as widgets/grid-model.txt describes them.
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
        test::addTableRows(u"widgets/grid-model.txt"_s, {"steps", "rows", "marks"});
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
