#pragma once

#include "store/schema.h"

#include <QString>
#include <QStringList>
#include <QVector>
#include <array>

namespace qb {

// One record or value of the Access file that was left out or changed on the way in.
struct ImportIssue {
    BookId book = BookId::Contacts;
    qint64 record = 0; // from 1, in the order the Access table gives its records
    QString key;       // the record's key as read, for finding it by hand
    QString column;    // empty when the whole record was left out
    QString reason;
};

// What an import did, shown to the user at the end and savable as text.
struct ImportReport {
    QString source;
    QString target;
    std::array<qint64, kBookCount> imported{};
    QStringList tableNotes; // tables and columns without a counterpart, missing tables
    QVector<ImportIssue> issues;

    QStringList lines() const;
    QString text() const; // the lines, each ended by CR LF
};

// The book as the report names it: "联系人（lianxi1）".
QString bookTitle(BookId book);

} // namespace qb
