#pragma once

#include "records.h"

namespace qb {

// Websites as a Netscape bookmark file, the format every browser imports: one link per site,
// names and addresses escaped; 注册名 and 备注 go into the link's description.
class BookmarkWriter : public RecordWriter {
public:
    static QByteArray header();
    static QByteArray footer();
    void writeRecord(const Utf8Record& record, QByteArray& out) override;
};

// Reads a bookmark file as browsers and bookmark managers write it; folders are flattened.
// A link without a name is named by its address.
class BookmarkReader : public RecordReader {
public:
    BookmarkReader(QIODevice& device, int columnCount);
    bool next(Utf8Values& values) override;

private:
    bool nextTexts(QStringList& values);
    QString m_text;
    qsizetype m_pos = 0;
    int m_columnCount;
    QStringList m_texts; // the record being read, as text
};

} // namespace qb
