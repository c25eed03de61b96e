#pragma once

#include "app/sdiappform.h"

#include <QString>
#include <QStringList>
#include <memory>

namespace qb::test {

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

} // namespace qb::test
