#pragma once

#include "records.h"

#include <functional>

namespace qb {

class BookDataset;

enum class DuplicateChoice { Skip, Replace, KeepBoth };

struct ExchangeImportReport {
    int added = 0;
    int replaced = 0;
    int skipped = 0;
    bool cancelled = false;
    QStringList reasons; // the first ones, one line each
    int unlistedReasons = 0;
    QStringList notes; // what the reader could not use

    QString text() const;
};

// Asked once per import, at the first key the book or the file already has.
using DuplicateQuestion = std::function<DuplicateChoice(const QString& key)>;
// Called now and then during a long import or export; false cancels it.
using Progress = std::function<bool()>;

// Adds every record the reader gives to the book in one transaction: broken input, an error
// or a cancel leaves the book exactly as it was. Records that cannot be stored as they are
// (empty key, a value too long for its column, a date that is not one) are skipped and
// reported, never cut.
ExchangeImportReport importRecords(BookDataset& book, RecordReader& reader,
                                   const DuplicateQuestion& ask, const Progress& progress);

} // namespace qb
