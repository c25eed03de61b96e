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

namespace {

// Types text as keys; a line feed is the Return key.
void type(QWidget* widget, const QString& text) {
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (i > 0)
            QTest::keyClick(widget, Qt::Key_Return);
        QTest::keyClicks(widget, lines[i]);
    }
}

// Chinese text arrives through the input method, as a committed string.
void commit(QWidget* widget, const QString& text) {
    QInputMethodEvent event;
    event.setCommitString(text);
    QApplication::sendEvent(widget, &event);
}

bool looksDisabled(const QWidget& control) {
    const QPalette& p = control.palette();
    return p.color(QPalette::Active, QPalette::Base) == p.color(QPalette::Disabled, QPalette::Base);
}

} // namespace

class TestDBEdit : public QObject {
    Q_OBJECT

    std::unique_ptr<test::OpenBooks> m_books;

    BookDataset& contacts() { return m_books->contacts(); }
    int column(const char* name) { return contacts().columnIndex(QString::fromUtf8(name)); }

    template <typename Control> void bind(Control& control, BookDataset& book, const char* field) {
        control.setDataSource(&book);
        control.setDataField(QString::fromUtf8(field));
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
        contacts().setFieldText(column("备注"), u"note a"_s);
        contacts().post();
        contacts().refresh();
        contacts().first();
    }
    void cleanup() { m_books.reset(); }

    void typingEditsRecordAtTheCursor() {
        DBEdit edit;
        bind(edit, contacts(), "邮箱");
        QCOMPARE(edit.text(), u"a@x.cn"_s);
        QTest::keyClick(&edit, Qt::Key_Home);
        QTest::keyClicks(&edit, u"xy"_s);
        QCOMPARE(contacts().state(), DatasetState::Edit);
        QCOMPARE(contacts().valueText(column("邮箱")), u"xya@x.cn"_s);
        QCOMPARE(edit.cursorPosition(), 2);
        QCOMPARE(edit.dataField(), u"邮箱"_s);
        // Typing into another field of the record leaves this one's undo history alone.
        DBEdit name;
        bind(name, contacts(), "姓名");
        QTest::keyClicks(&name, u"z"_s);
        edit.undo();
        QCOMPARE(edit.text(), u"a@x.cn"_s);
        QCOMPARE(contacts().valueText(column("邮箱")), u"a@x.cn"_s);
        QCOMPARE(contacts().valueText(column("姓名")), u"amyz"_s);
    }

    // A paste is cut to the column's width; a cut never splits a character in half.
    void entryStopsAtColumnWidth_data() {
        test::addTableRows(u"widgets/paste-width.txt"_s, {"book", "field", "pasted", "expected"});
    }
    void entryStopsAtColumnWidth() {
        QFETCH(QString, book);
        QFETCH(QString, field);
        QFETCH(QString, pasted);
        QFETCH(QString, expected);
        BookDataset& dataset = book == u"contacts"_s ? contacts() : m_books->websites();
        DBEdit edit;
        bind(edit, dataset, field.toUtf8().constData());
        edit.selectAll();
        QApplication::clipboard()->setText(pasted);
        QTest::keyClick(&edit, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(edit.text(), expected);
        QCOMPARE(dataset.valueText(field), expected);
    }

    void controlsFollowTheRecord() {
        DBEdit name;
        DBMemo note;
        DBComboBox sex;
        bind(name, contacts(), "姓名");
        bind(note, contacts(), "备注");
        bind(sex, contacts(), "性别");
        const auto shown = [&] {
            return QStringList{name.text(), note.toPlainText(), sex.currentText()};
        };
        QCOMPARE(shown(), (QStringList{u"amy"_s, u"note a"_s, u"女"_s}));
        contacts().next();
        QCOMPARE(shown(), (QStringList{u"bob"_s, QString(), u"男"_s}));
        contacts().setFieldText(column("姓名"), u"bobby"_s);
        QCOMPARE(name.text(), u"bobby"_s);
        contacts().cancel();
        QCOMPARE(name.text(), u"bob"_s);
        contacts().refresh();
        QCOMPARE(shown(), (QStringList{u"bob"_s, QString(), u"男"_s}));
        QVERIFY(!looksDisabled(name));

        m_books->store.closeBooks();
        QCOMPARE(shown(), (QStringList{QString(), QString(), QString()}));
        for (QWidget* control : std::initializer_list<QWidget*>{&name, &note, &sex}) {
            QVERIFY(looksDisabled(*control));
            QVERIFY(control->isEnabled());
        }
        // Typing into a closed book is reported and changes nothing.
        QTest::keyClicks(&name, u"a"_s);
        QCOMPARE(m_books->errors(),
                 QStringList{u"ADOTable1: Cannot perform this operation on a closed dataset."_s});
        QCOMPARE(name.text(), QString());
        m_books->store.reopenBooks();
        QCOMPARE(shown(), (QStringList{u"amy"_s, u"note a"_s, u"女"_s}));
        QVERIFY(!looksDisabled(note));
    }

    void typingIntoEmptyBookStartsRecord() {
        BookDataset& websites = m_books->websites();
        DBEdit name;
        DBMemo note;
        bind(name, websites, "网址名称");
        bind(note, websites, "备注");
        type(&name, u"abc"_s);
        QCOMPARE(websites.state(), DatasetState::Insert);
        type(&note, u"x\ny"_s);
        QCOMPARE(name.text(), u"abc"_s);
        QCOMPARE(note.toPlainText(), u"x\ny"_s);
        websites.post();
        QCOMPARE(websites.valueText(u"网址名称"_s), u"abc"_s);
        QCOMPARE(websites.valueText(u"备注"_s), u"x\r\ny"_s);
    }

    void memoKeepsLineBreaks_data() {
        test::addTableRows(u"widgets/memo-breaks.txt"_s, {"stored", "typed", "result"});
    }
    void memoKeepsLineBreaks() {
        QFETCH(QString, stored);
        QFETCH(QString, typed);
        QFETCH(QString, result);
        const int noteColumn = column("备注");
        contacts().setFieldText(noteColumn, stored);
        contacts().post();
        DBMemo note;
        bind(note, contacts(), "备注");
        contacts().next();
        contacts().first();
        note.moveCursor(QTextCursor::End);
        type(&note, typed);
        QCOMPARE(contacts().state(), typed.isEmpty() ? DatasetState::Browse : DatasetState::Edit);
        contacts().next();
        QCOMPARE(contacts().rowValueText(0, noteColumn), result);
    }

    void comboOffersSexesAndTakesFreeText() {
        DBComboBox sex;
        bind(sex, contacts(), "性别");
        QCOMPARE(sex.count(), 2);
        QCOMPARE(sex.itemText(0), u"男"_s);
        QCOMPARE(sex.itemText(1), u"女"_s);
        QVERIFY(sex.isEditable());
        // From 女 the list goes up to 男.
        QTest::keyClick(&sex, Qt::Key_Up);
        QCOMPARE(contacts().valueText(u"性别"_s), u"男"_s);
        QTest::keyClick(sex.lineEdit(), Qt::Key_A, Qt::ControlModifier);
        commit(sex.lineEdit(), u"未知的"_s); // the column holds two characters
        QCOMPARE(sex.currentText(), u"未知"_s);
        QTest::keyClick(sex.lineEdit(), Qt::Key_Return);
        QCOMPARE(sex.count(), 2);
        contacts().post();
        QCOMPARE(contacts().valueText(u"性别"_s), u"未知"_s);
        QCOMPARE(sex.currentText(), u"未知"_s);
    }

    // However the text reaches a field, the record holds what the field shows; loading a
    // record into the fields is no edit.
    void fieldShowsWhatTheRecordHolds_data() {
        QTest::addColumn<QString>("way");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("expected");
        QTest::newRow("keys") << u"keys"_s << u"姓名"_s << u"zl"_s;
        QTest::newRow("input method") << u"input method"_s << u"姓名"_s << u"赵六"_s;
        QTest::newRow("paste") << u"paste"_s << u"姓名"_s << u"赵六"_s;
        QTest::newRow("screen reader") << u"accessibility"_s << u"姓名"_s << u"赵六"_s;
        QTest::newRow("screen reader, drop-down") << u"accessibility"_s << u"性别"_s << u"未知"_s;
    }
    void fieldShowsWhatTheRecordHolds() {
        QFETCH(QString, way);
        QFETCH(QString, field);
        QFETCH(QString, expected);
        DBEdit name;
        DBComboBox sex;
        bind(name, contacts(), "姓名");
        bind(sex, contacts(), "性别");
        contacts().next();
        contacts().first();
        QCOMPARE(contacts().state(), DatasetState::Browse);
        QLineEdit* line = field == u"姓名"_s ? &name : sex.lineEdit();
        line->setFocus();
        line->selectAll();
        if (way == u"keys"_s) {
            QTest::keyClicks(line, expected);
        } else if (way == u"input method"_s) {
            commit(line, expected);
        } else if (way == u"paste"_s) {
            QApplication::clipboard()->setText(expected);
            QTest::keyClick(line, Qt::Key_V, Qt::ControlModifier);
        } else {
            QAccessible::queryAccessibleInterface(line)->setText(QAccessible::Value, expected);
        }
        QCOMPARE(line->text(), expected);
        QCOMPARE(contacts().valueText(field), expected);
        contacts().post();
        contacts().refresh();
        QCOMPARE(contacts().valueText(field), expected);
        QCOMPARE(line->text(), expected);
    }

    void dateEntryShowsStoredDateAfterPost() {
        DBEdit birthday;
        bind(birthday, contacts(), "生日");
        QTest::keyClicks(&birthday, u"2024-03-05"_s);
        contacts().post();
        QCOMPARE(birthday.text(), u"2024/3/5"_s);
    }
};

QTEST_MAIN(TestDBEdit)
#include "tst_dbedit.moc"
