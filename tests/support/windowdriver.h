#pragma once

#include "app/sdiappform.h"
#include "platform/scriptedplatform.h"
#include "store/preferences.h"
#include "tables.h"

#include <QTemporaryDir>
#include <QTest>
#include <array>
#include <memory>

namespace qb::test {

// What every case starts from: an empty folder of its own and a platform whose dialogs the
// test answers and whose message boxes it reads.
struct Sandbox {
    QTemporaryDir dir;
    ScopedScriptedPlatform platform;

    QString path(const QString& name) const { return dir.filePath(name); }
    QString ini() const { return path(QStringLiteral("quillbox.ini")); }
    // Exactly one box was shown: the application's error box, its text holding the part.
    void verifyOneError(const QString& part) const;
    // The message boxes shown, one a line: "[caption flags] text".
    QString boxes() const;
};

// The main window as a user drives it: preferences written before the start, buttons
// clicked, text typed the way an input method hands it over.

// Preferences that open the database at the next start, with the contacts' search history.
void rememberDatabase(const QString& ini, const QString& database,
                      const QStringList& contactsHistory = {});
std::unique_ptr<TSDIAppForm> showMainWindow(const QString& ini);

void click(TSDIAppForm& form, const char* button);
void trigger(TSDIAppForm& form, const char* menuItem);
// Into a single-line or a multi-line entry field, or a search box.
void type(TSDIAppForm& form, const char* field, const QString& text);
QString fieldText(const TSDIAppForm& form, const char* field);

QStringList items(const QString& commaList); // the items of "a,b,c", none of ""

} // namespace qb::test
