#pragma once

#include "records.h"

#include <QHash>

namespace qb {

// Contacts as vCard 3.0: UTF-8, CR LF, lines folded at 75 octets between characters, values
// escaped. docs/vcard-mapping.md lists which column goes to which property.
class VCardWriter : public RecordWriter {
public:
    explicit VCardWriter(const QStringList& columnNames);
    void writeRecord(const Utf8Record& record, QByteArray& out) override;

private:
    QByteArrayView value(const Utf8Record& record, const char* column) const;

    QHash<QByteArray, int> m_columns; // column name (UTF-8) -> position in the record
};

// Reads vCard 2.1 (quoted-printable, CHARSET=), 3.0 and 4.0, any number of cards; properties
// the contacts book has no place for, and photos, are left out.
class VCardReader : public RecordReader {
public:
    VCardReader(QIODevice& device, const QStringList& columnNames);
    ~VCardReader() override;
    bool next(QStringList& values) override;

private:
    struct Property;
    bool nextLogicalLine(QByteArray& line);
    void apply(const Property& property, QStringList& values) const;
    void put(QStringList& values, const char* column, const QString& text) const;
    bool isEmpty(const QStringList& values, const char* column) const;

    LineSource m_lines;
    QHash<QByteArray, int> m_columns;
    QByteArray m_pending; // a physical line read ahead while unfolding
    bool m_hasPending = false;
    qint64 m_cardLine = 0;
};

} // namespace qb
