#pragma once

#include <QString>

namespace qb {

// Makes a new database file holding made-up but realistic books: Chinese names with unique
// keys, e-mails, mobiles, ID numbers, addresses, multi-line notes and the empty values a real
// book has. The same arguments give the same file. Throws DataError when the file exists or
// cannot be written; a failed run leaves no file behind.
void generateBook(const QString& file, int contacts, int websites, int serials, quint32 seed);

} // namespace qb
