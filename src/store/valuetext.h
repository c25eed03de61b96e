#pragma once

#include <QString>
#include <optional>

namespace qb {

// Dates are stored as ISO text ("YYYY-MM-DD", with " HH:MM:SS" only when a time is stored)
// and shown in the locale's short date, always with a four-digit year so that what is shown
// can be typed back without the century changing; a stored time follows after a blank as
// HH:MM:SS, without a zone.
QString shortDateFormat();
QString dateValueText(const QString& stored);

// A typed date in the locale's short form or in ISO form, as stored text; nothing when the
// text is not a date.
std::optional<QString> parseDateText(const QString& typed);

// The value without leading and trailing characters of code 32 or below (blanks, tabs, line
// breaks, the padding of fixed-width columns). Unlike QString::trimmed(), a wide blank stays.
QString trimmedValue(const QString& valueText);

} // namespace qb
