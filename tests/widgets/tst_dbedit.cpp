#include "openbooks.h"
#include "tables.h"
#include "widgets/dbedit.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QLocale>
#include <QTest>

using namespace qb;
using namespace Qt::StringLiterals;

class TestDBEdit : public QObject {
    Q_OBJECT

    std::unique_ptr<test::OpenBooks> m_books;

    BookDataset& contacts() { return m_books->contacts(); }
    template <typename Control> void bind(Control& control, BookDataset& book, QString field) {
        control.setDataSource(&book);
        control.setDataField(field);
        control.show();
        control.setFocus();
    }

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China)); }
    void init() {
        m_books = std::make_unique<test::OpenBooks>();
        test::addRecord(contacts(), {u"amy"_s, u"a@x.cn"_s, {}, {}, {}, u"女"_s});
        test::addRecord(contacts(), {u"bob"_s, u"b@x.cn"_s, {}, {}, {}, u"男"_s});
        contacts().first();
    }
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
        QCOMPARE(shown(), u"||"_s);
        for (QWidget* control : std::initializer_list<QWidget*>{&name, &note, &sex})
            QVERIFY(looksDisabled(*control) && control->isEnabled());
        QTest::keyClicks(&name, u"a"_s);
        QCOMPARE(m_books->errors(),
                 QStringList{u"ADOTable1: Cannot perform this operation on a closed dataset."_s});
        QCOMPARE(name.text(), QString());
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
        const int noteColumn = contacts().columnIndex(u"备注"_s);
        contacts().setFieldText(noteColumn, stored);
        contacts().post();
        DBMemo note;
        bind(note, contacts(), u"备注"_s);
        contacts().next();
        contacts().first();
        note.moveCursor(QTextCursor::End);
        const QStringList lines = typed.split(u'\n'); // a line feed is the Return key
        for (qsizetype i = 0; i < lines.size(); ++i) {
            if (i > 0)
                QTest::keyClick(&note, Qt::Key_Return);
            QTest::keyClicks(&note, lines[i]);
        }
        QCOMPARE(contacts().state(), typed.isEmpty() ? DatasetState::Browse : DatasetState::Edit);
        contacts().next();
        QCOMPARE(contacts().rowValueText(0, noteColumn), result);
    }
};

QTEST_MAIN(TestDBEdit)
#include "tst_dbedit.moc"
