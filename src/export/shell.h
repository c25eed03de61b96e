#pragma once

#include <QString>

namespace qb {

// The one wrapper for the program's own questions and notices; returns the pressed button.
int MsgBox(const QString& text, const QString& caption, unsigned flags);
// Hand a web address, file or folder, or a mail address, to the desktop. An empty value is
// answered with "是空的", and so is one of blanks only; anything else is passed on exactly as
// given.
void OpenUrl(const QString& target);
void OpenMailTo(const QString& address);

} // namespace qb
