#pragma once

#include "records.h"

#include <memory>
#include <vector>

namespace qb {

// Contacts as vCard 3.0: UTF-8, CR LF, lines folded at 75 octets between characters, values
// escaped. docs/vcard-mapping.md lists which column goes to which property.
class VCardWriter : public RecordWriter {
public:
    explicit VCardWriter(const QStringList& columnNames);
    void writeRecord(const Utf8Record& record, QByteArray& out) override;

private:
    std::vector<std::vector<int>> m_mapColumns; // each property's columns, -1 for none
    int m_nameColumn = -1;
    QByteArray m_line; // the property being written
};

// Reads vCard 2.1 (quoted-printable, CHARSET=), 3.0 and 4.0, any number of cards; properties
// the contacts book has no place for, and photos, are left out.
class VCardReader : public RecordReader {
public:
    VCardReader(QIODevice& device, const QStringList& columnNames);
    ~VCardReader() override;
    bool next(Utf8Values& values) override;

private:
    struct Property;
    bool nextLogicalLine(QByteArrayView& logical);
    bool continues(QByteArrayView line) const;
    bool readProperty(QByteArrayView line);
    void readParameters();
    static bool isWanted(Property& property);
    void apply(const Property& property, Utf8Values& values);
    QByteArrayView decodedUtf8(const Property& property);

    LineSource m_lines;
    QStringList m_columnNames;
    std::vector<std::vector<int>> m_mapColumns; // each property's columns, -1 for none
    QByteArray m_line; // a folded property joined, kept so that its room is allocated once
    qint64 m_cardLine = 0;
    std::unique_ptr<Property> m_property; // the one being read, its buffers kept for the next
    std::vector<QByteArray> m_parts;      // a value's components, kept for the room they take
    QByteArray m_decoded;                 // a value that is not UTF-8 as written
    int m_nameColumn = -1;
    int m_sexColumn = -1;
    int m_birthdayColumn = -1;
};

} // namespace qb
