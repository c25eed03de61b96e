#pragma once

#include <QString>

namespace qb {

// Makes a new database file holding made-up but realistic books: Chinese names with unique
// keys, e-mails, mobiles, ID numbers, addresses, multi-line notes and the empty values a real
// book has. The same arguments give the same file. Throws StoreError when the file exists or
// cannot be written; a failed run leaves no file behind.
void generateBook(const QString& file, int contacts, int websites, int serials, quint32 seed);

// A generated book kept between benchmark runs in $QB_BENCH_DIR (default
// /tmp/quillbox-bench), made on first use. It is written under a temporary name and renamed
// when complete, so an interrupted run never leaves a half-made book for a later run.
QString benchFolder();
QString cachedBook(const QString& tag, int contacts, int websites, int serials);

} // namespace qb
