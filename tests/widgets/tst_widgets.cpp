// The data-bound controls over a real book: entry fields, the grid and its model; and the
// look of the command buttons.
#include "openbooks.h"
#include "tables.h"
#include "widgets/bookgridmodel.h"
#include "widgets/dbedit.h"
#include "widgets/dbgrid.h"
#include "widgets/lbbutton.h"

#include <QAbstractItemModelTester>
#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QLocale>
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

class TestWidgets : public QObject {
    Q_OBJECT

    std::unique_ptr<test::OpenBooks> m_books;

    BookDataset& contacts() { return m_books->contacts(); }
    template <typename Control> void bind(Control& control, BookDataset& book, QString field) {
        control.setDataSource(&book);
        control.setDataField(field);
        control.show();
        control.setFocus();
    }
    // Contacts of these columns ("amy,a@x.cn,,,,女"), on the first.
    void addPeople(const QStringList& people) {
        for (const QString& person : people)
            test::addRecord(contacts(), person.split(u','));
        contacts().refresh();
        contacts().first();
    }
    void addAmyAndBob() { addPeople({u"amy,a@x.cn,,,,女"_s, u"bob,b@x.cn,,,,男"_s}); }

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China)); }
    void init() { m_books = std::make_unique<test::OpenBooks>(); }
    void cleanup() { m_books.reset(); }

    // However the text reaches a field, the record holds what the field shows, at most the
    // column's width and never half a character; loading a record into the fields is no edit.
    void entryReachesTheRecord_data() {
        test::addTableRows(u"widgets/field-entry.txt"_s,
                           {"book", "way", "field", "text", "posted"});
    }
    void entryReachesTheRecord() {
        QFETCH(QString, book);
        QFETCH(QString, way);
        QFETCH(QString, field);
        QFETCH(QString, text);
        QFETCH(QString, posted);
        addAmyAndBob();
        BookDataset& dataset = book == u"contacts"_s ? contacts() : m_books->websites();
        DBEdit edit;
        DBComboBox sex;
        bind(edit, dataset, field == u"性别"_s ? u"姓名"_s : field);
        bind(sex, contacts(), u"性别"_s);
        dataset.next();
        dataset.first();
        QCOMPARE(dataset.state(), DatasetState::Browse);
        QLineEdit* line = field == u"性别"_s ? sex.lineEdit() : &edit;
        line->setFocus();
        line->selectAll();
        if (way.startsWith(u"keys"_s)) {
            if (way.endsWith(u"start"_s))
                QTest::keyClick(line, Qt::Key_Home);
            QTest::keyClicks(line, text);
        } else if (way == u"up key"_s) {
            QTest::keyClick(&sex, Qt::Key_Up);
        } else if (way == u"input method"_s) {
            QInputMethodEvent commit;
            commit.setCommitString(text);
            QApplication::sendEvent(line, &commit);
        } else if (way == u"paste"_s) {
            QApplication::clipboard()->setText(text);
            QTest::keyClick(line, Qt::Key_V, Qt::ControlModifier);
        } else {
            QAccessible::queryAccessibleInterface(line)->setText(QAccessible::Value, text);
        }
        QCOMPARE(line->text(), dataset.valueText(field));
        QTest::keyClick(line, Qt::Key_Return);
        dataset.post();
        dataset.refresh();
        QCOMPARE(dataset.valueText(field) + u'|' + line->text(), posted + u'|' + posted);
        QCOMPARE(sex.count(), 2); // free text is not added to the list
    }

    // A closed book's controls look disabled but take the focus; typing into them is reported
    // and changes nothing. Reopened, they show the record again.
    void closedBookControls() {
        addAmyAndBob();
        DBEdit name;
        DBMemo note;
        DBComboBox sex;
        bind(name, contacts(), u"姓名"_s);
        bind(note, contacts(), u"备注"_s);
        bind(sex, contacts(), u"性别"_s);
        const auto shown = [&] {
            return QStringList{name.text(), note.toPlainText(), sex.currentText()}.join(u'|');
        };
        const auto looksDisabled = [](const QWidget& control) {
            const QPalette& p = control.palette();
            return p.color(QPalette::Active, QPalette::Base) ==
                   p.color(QPalette::Disabled, QPalette::Base);
        };
        QCOMPARE(shown(), u"amy||女"_s);
        m_books->store.closeBooks();
        for (QWidget* control : std::initializer_list<QWidget*>{&name, &note, &sex})
            QVERIFY(looksDisabled(*control) && control->isEnabled());
        QTest::keyClicks(&name, u"a"_s);
        QCOMPARE(shown(), u"||"_s);
        QCOMPARE(m_books->errors(),
                 QStringList{u"ADOTable1: Cannot perform this operation on a closed dataset."_s});
        m_books->store.reopenBooks();
        QCOMPARE(shown(), u"amy||女"_s);
        QVERIFY(!looksDisabled(note));
    }

    // A note stored, then typed at its end: the line breaks kept.
    void memoKeepsLineBreaks_data() {
        test::addTableRows(u"widgets/memo-breaks.txt"_s, {"stored", "typed", "result"});
    }
    void memoKeepsLineBreaks() {
        QFETCH(QString, stored);
        QFETCH(QString, typed);
        QFETCH(QString, result);
        addAmyAndBob();
        const int noteColumn = contacts().columnIndex(u"备注"_s);
        contacts().setFieldText(noteColumn, stored);
        contacts().post();
        DBMemo note;
        bind(note, contacts(), u"备注"_s);
        contacts().next();
        contacts().first();
        note.moveCursor(QTextCursor::End);
        QTest::keyClicks(&note, QString(typed).replace(u'\n', u'\r')); // the Return key
        QCOMPARE(contacts().state(), typed.isEmpty() ? DatasetState::Browse : DatasetState::Edit);
        contacts().next();
        QCOMPARE(contacts().rowValueText(0, noteColumn), result);
    }
    // Every change of the dataset reaches the model as consistent model signals, and the
    // model then shows exactly the dataset's rows and marks the current one and its state.
    void followsDatasetChanges_data() {
        test::addTableRows(u"widgets/grid-model.txt"_s, {"steps", "rows", "marks"});
    }
    void followsDatasetChanges() {
        QFETCH(QString, steps);
        QFETCH(QString, rows);
        QFETCH(QString, marks);
        addPeople({u"b"_s, u"d"_s, u"f"_s});
        BookGridModel model(contacts());
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        play(contacts(), steps);
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
        addPeople({u"b"_s, u"d"_s, u"f"_s});
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
    }
    // A move scrolls just enough, a located record stands near the middle.
    void movesScroll() {
        m_books->addContacts(30);
        DBGrid grid;
        grid.resize(320, 200);
        grid.setDataSource(&contacts());
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        const auto fullyVisible = [&grid](int row) {
            const QRect rect = grid.visualRect(grid.model()->index(row, 0));
            return rect.top() >= 0 && rect.bottom() < grid.viewport()->height();
        };
        int lastVisible = 0;
        while (fullyVisible(lastVisible + 1))
            ++lastVisible;
        contacts().moveTo(lastVisible + 1);
        QCOMPARE(grid.rowAt(0), 1);
        QCOMPARE(grid.selectionModel()->selectedRows(), {grid.model()->index(lastVisible + 1, 0)});
        QVERIFY(contacts().locate(u"姓名"_s, u"n00020"_s));
        grid.centerOnCurrent();
        const QRect located = grid.visualRect(grid.model()->index(20, 0));
        QVERIFY(std::abs(located.center().y() - grid.viewport()->height() / 2) <= located.height());
        // Another book replaces the first: the contacts no longer move this grid.
        grid.setDataSource(&m_books->websites());
        QCOMPARE(grid.model()->columnCount(), 4);
        contacts().last();
        QVERIFY(!grid.currentIndex().isValid());
    }
    void drawsFaceEdgeAndCaption_data() {
        test::addTableRows(u"widgets/button-looks.txt"_s, {"style", "state", "look", "ink"});
    }
    void drawsFaceEdgeAndCaption() {
        QFETCH(QString, style);
        QFETCH(QString, state);
        QFETCH(QString, look);
        QFETCH(QString, ink);
        TLbButton button(u"添加"_s);
        button.resize(70, 23);
        button.setShadowColor(Qt::darkGray);
        button.setLightColor(Qt::white);
        button.setColor(Qt::lightGray);
        button.setButtonStyle(style == u"encarta"_s ? ButtonStyle::Encarta : ButtonStyle::Modern);
        button.setDown(state.contains(u"down"_s));
        if (state.contains(u"hover"_s)) {
            button.show();
            QVERIFY(QTest::qWaitForWindowExposed(&button));
            QTest::mouseMove(&button, button.rect().center());
            QTRY_VERIFY(button.underMouse());
        }
        button.setEnabled(!state.contains(u"disabled"_s));
        const QImage image = button.grab().toImage();
        const int r = image.width() - 1;
        const int b = image.height() - 1;
        QString got;
        for (QPoint p : {QPoint(0, 0), QPoint(0, b / 2), QPoint(r / 2, 0), QPoint(r, b),
                         QPoint(r, b / 2), QPoint(r / 2, b), QPoint(2, 2)})
            got += QString::number(qGray(image.pixel(p)), 16).front();
        int darkest = 255;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                darkest = std::min(darkest, qGray(image.pixel(x, y)));
        QCOMPARE(got + u' ' + (darkest > 60 ? u"grey"_s : u"black"_s), look + u' ' + ink);
    }
};

QTEST_MAIN(TestWidgets)
#include "tst_widgets.moc"
