#include "windowdriver.h"

#include <QtWidgets>

namespace qb::test {

using namespace Qt::StringLiterals;

namespace {

template <typename T> T* child(const TSDIAppForm& form, const char* name) {
    T* found = form.findChild<T*>(QString::fromLatin1(name));
    if (!found)
        qFatal("no control named %s", name);
    return found;
}

} // namespace

void Sandbox::verifyOneError(const QString& part) const {
    QCOMPARE(platform.messages.size(), 1);
    QVERIFY2(boxes().startsWith(u"[Quillbox 0x10] "_s) && boxes().contains(part),
             qPrintable(boxes()));
}

QString Sandbox::boxes() const {
    QStringList texts;
    for (const ScriptedPlatform::Message& box : platform.messages)
        texts << u"[%1 0x%2] %3"_s.arg(box.caption, QString::number(box.flags, 16), box.text);
    return texts.join(u'\n');
}

void rememberDatabase(const QString& ini, const QString& database,
                      const QStringList& contactsHistory) {
    Preferences prefs;
    prefs.databasePath = database;
    prefs.histories[size_t(BookId::Contacts)] = contactsHistory;
    SavePreferences(ini, prefs);
}

std::unique_ptr<TSDIAppForm> showMainWindow(const QString& ini) {
    auto form = std::make_unique<TSDIAppForm>(ini);
    form->show();
    return form;
}

void click(TSDIAppForm& form, const char* button) {
    QTest::mouseClick(child<QAbstractButton>(form, button), Qt::LeftButton);
}

void trigger(TSDIAppForm& form, const char* menuItem) {
    child<QAction>(form, menuItem)->trigger();
}

void type(TSDIAppForm& form, const char* field, const QString& text) {
    QWidget* target = child<QWidget>(form, field);
    if (auto* memo = qobject_cast<QPlainTextEdit*>(target)) {
        // A paste: one insertion, however long the text.
        memo->insertPlainText(text);
        return;
    }
    if (auto* combo = qobject_cast<QComboBox*>(target))
        target = combo->lineEdit();
    QTest::sendKeyEvent(QTest::Click, target, Qt::Key_unknown, text, Qt::NoModifier);
}

QString fieldText(const TSDIAppForm& form, const char* field) {
    QWidget* target = child<QWidget>(form, field);
    if (auto* memo = qobject_cast<QPlainTextEdit*>(target))
        return memo->toPlainText();
    if (auto* combo = qobject_cast<QComboBox*>(target))
        return combo->currentText();
    return qobject_cast<QLineEdit*>(target)->text();
}

QStringList items(const QString& commaList) {
    return commaList.split(u',', Qt::SkipEmptyParts);
}

} // namespace qb::test
