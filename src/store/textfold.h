#pragma once

#include <QString>

namespace qb {

// Folding makes a full-width letter or digit equal to its half-width form and an upper-case
// letter equal to its lower-case one. It maps one character to one character, so a match in
// the folded text is at the same place in the original.
QChar foldChar(QChar c);
QString foldText(QStringView text);

} // namespace qb
