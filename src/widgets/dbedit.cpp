#include "dbedit.h"

#include <QMimeData>
#include <QScopedValueRollback>
#include <QTextDocument>

namespace qb {

namespace {

// Setting a line edit's limit sets its text again, which loses the cursor and the undo
// history: only a new limit is set.
void limitLength(QLineEdit* edit, int maxLength) {
    if (edit->maxLength() != maxLength)
        edit->setMaxLength(maxLength);
}

const QString kCrLf = QStringLiteral("\r\n");
const QString kLf = QStringLiteral("\n");

// The line break an edited value keeps: bare LF only where the value already used it, CR LF
// (what the program writes everywhere else) otherwise.
QString lineBreakOf(const QString& value) {
    return value.contains(kLf) && !value.contains(kCrLf) ? kLf : kCrLf;
}

// The document's text with its block and line separators written as lineBreak. The raw text
// keeps no-break spaces, which the plain text would turn into blanks.
QString textWithLineBreaks(const QTextDocument& document, const QString& lineBreak) {
    QString text = document.toRawText();
    text.replace(QChar(QChar::ParagraphSeparator), lineBreak);
    text.replace(QChar(QChar::LineSeparator), lineBreak);
    return text;
}

} // namespace

DBEdit::DBEdit(QWidget* parent)
    : QLineEdit(parent)
    , DataAware(this) {
    connect(&m_link, &FieldLink::dataChanged, this, &DBEdit::showValue);
    // Every change of the text that is not a loaded value is the user's, however it came:
    // keys, an input method, paste, drop, or a screen reader setting the text.
    connect(this, &QLineEdit::textChanged, this, &DBEdit::takeTypedText);
}

void DBEdit::takeTypedText(const QString& typed) {
    if (m_loading)
        return;
    // The length limit counts UTF-16 units and can cut a pasted character beyond the basic
    // plane in half; half a character would be stored as "?". Setting the whole characters
    // comes back here with them.
    if (!typed.isEmpty() && typed.back().isHighSurrogate()) {
        setText(typed.chopped(1));
        return;
    }
    m_link.userEdited(typed);
}

void DBEdit::showValue() {
    const QString value = m_link.valueText();
    const QScopedValueRollback loading(m_loading, true);
    limitLength(this, m_link.maxLength(value));
    // Unchanged text is left alone, so the cursor stays where the user was typing.
    if (text() != value)
        setText(value);
}

DBMemo::DBMemo(QWidget* parent)
    : QPlainTextEdit(parent)
    , DataAware(this)
    , m_lineBreak(kCrLf) {
    // Long lines scroll sideways instead of wrapping, as with both scroll bars.
    setLineWrapMode(NoWrap);
    // Tab moves on to the next field, as in every other entry of the page.
    setTabChangesFocus(true);
    connect(&m_link, &FieldLink::dataChanged, this, &DBMemo::showValue);
    connect(this, &QPlainTextEdit::textChanged, this, &DBMemo::textEdited);
}

void DBMemo::showValue() {
    const QString value = m_link.valueText();
    if (value == m_value)
        return;
    m_value = value;
    m_lineBreak = lineBreakOf(value);
    m_loading = true;
    setPlainText(value);
    m_loading = false;
}

void DBMemo::insertFromMimeData(const QMimeData* source) {
    if (source->hasText()) {
        QString pasted = source->text();
        pasted.replace(kCrLf, kLf).replace(QLatin1Char('\r'), QLatin1Char('\n'));
        const QTextCursor cursor = textCursor();
        QString result = toPlainText();
        result.replace(cursor.selectionStart(), cursor.selectionEnd() - cursor.selectionStart(),
                       pasted);
        if (!m_link.fits(result.replace(kLf, m_lineBreak)))
            return;
    }
    QPlainTextEdit::insertFromMimeData(source);
}

void DBMemo::textEdited() {
    if (m_loading)
        return;
    const QString text = textWithLineBreaks(*document(), m_lineBreak);
    if (text == m_value)
        return;
    m_value = text;
    m_link.userEdited(text);
}

DBComboBox::DBComboBox(QWidget* parent)
    : QComboBox(parent)
    , DataAware(this) {
    setEditable(true);
    // Typed text is the record's value, not a new entry of the list; and nothing is completed
    // behind the user's back, so the value is exactly what was typed.
    setInsertPolicy(NoInsert);
    setCompleter(nullptr);
    addItems({QStringLiteral("男"), QStringLiteral("女")});
    connect(&m_link, &FieldLink::dataChanged, this, &DBComboBox::showValue);
    // Typing, picking from the list and any other change of the text but a loaded value.
    connect(lineEdit(), &QLineEdit::textChanged, this, [this](const QString& text) {
        if (!m_loading)
            m_link.userEdited(text);
    });
    showValue();
}

void DBComboBox::showValue() {
    const QString value = m_link.valueText();
    const QScopedValueRollback loading(m_loading, true);
    limitLength(lineEdit(), m_link.maxLength(value));
    if (currentText() == value)
        return;
    setCurrentIndex(findText(value));
    setEditText(value);
}

} // namespace qb
