#include "textexport.h"

#include "bytesink.h"
#include "exportfile.h"
#include "gb18030.h"
#include "gridorderspool.h"
#include "store/databasefile.h"
#include "store/dataerror.h"
#include "store/recordstore.h"
#include "store/sqlitestatement.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <cstring>
#include <vector>

namespace qb {

namespace {

enum class RecordLayout {
    ColumnLines,   // every column as "name:value", then an empty line
    NameAndAddress // one line: the trimmed first column, the separator, the second column
};

struct BookExport {
    const char* header;
    RecordLayout layout;
};

const BookExport& bookExport(BookId book) {
    static constexpr BookExport kExports[kBookCount] = {
        {"[我的联系簿]", RecordLayout::ColumnLines},
        {"[我的网址]", RecordLayout::NameAndAddress},
        {"[我的序列号]", RecordLayout::ColumnLines},
    };
    return kExports[static_cast<int>(book)];
}

const char kCrLf[] = "\r\n";
const char kWebsiteSeparator[] = "  \\\\\\\\\\  "; // 20 20 5C 5C 5C 5C 5C 20 20

// Distinct dates remembered during one export: every birthday of a century fits.
constexpr qsizetype kMaxDateTexts = 65536;

// Blanks and control characters are single bytes below 0x21 in UTF-8, never part of a longer
// character, so trimming the bytes trims the characters.
void trimBytes(const char*& bytes, qsizetype& length) {
    while (length > 0 && static_cast<unsigned char>(bytes[0]) <= 32) {
        ++bytes;
        --length;
    }
    while (length > 0 && static_cast<unsigned char>(bytes[length - 1]) <= 32)
        --length;
}

char* put(char* out, const QByteArray& bytes) {
    std::memcpy(out, bytes.constData(), size_t(bytes.size()));
    return out + bytes.size();
}

template <size_t N> char* put(char* out, const char (&text)[N]) {
    std::memcpy(out, text, N - 1);
    return out + N - 1;
}

// Turns the rows of one book into the bytes of its layout. Text values go from the database's
// UTF-8 bytes straight into the file buffer; only dates need their value text.
class BookTextWriter {
public:
    BookTextWriter(const BookDataset& dataset, RecordLayout layout)
        : m_dataset(dataset)
        , m_layout(layout) {
        for (const Column& column : dataset.columns()) {
            m_prefixes.push_back(m_encoder.encode(QString(column.name + QLatin1Char(':'))));
            m_dates.push_back(column.kind == ColumnKind::Date);
            m_prefixBytes += m_prefixes.back().size();
        }
        m_values.resize(m_prefixes.size());
    }

    void writeLine(const char* utf8, ByteSink& sink) {
        const qsizetype length = qsizetype(qstrlen(utf8));
        char* out = sink.room(Gb18030Encoder::maxEncodedSize(length) + 2);
        out = m_encoder.appendUtf8(out, utf8, length);
        sink.advance(put(out, kCrLf));
    }

    void writeRecord(const SqliteStatement& row, ByteSink& sink) {
        if (m_dateTexts.size() >= kMaxDateTexts)
            m_dateTexts.clear(); // many distinct times of day: keep memory flat
        if (m_layout == RecordLayout::ColumnLines)
            writeColumnLines(row, sink);
        else
            writeNameAndAddress(row, sink);
    }

private:
    // A value as it goes into the file: database bytes still to convert, or a date's value
    // text already converted.
    struct Value {
        const char* bytes = nullptr;
        qsizetype length = 0;
        bool converted = false;

        qsizetype maxSize() const {
            return converted ? length : Gb18030Encoder::maxEncodedSize(length);
        }
    };

    void writeColumnLines(const SqliteStatement& row, ByteSink& sink) {
        qsizetype size = m_prefixBytes + 2 * qsizetype(m_values.size()) + 2;
        for (size_t c = 0; c < m_values.size(); ++c) {
            m_values[c] = valueOf(row, int(c));
            size += m_values[c].maxSize();
        }
        char* out = sink.room(size);
        for (size_t c = 0; c < m_values.size(); ++c) {
            out = put(out, m_prefixes[c]);
            out = putValue(out, m_values[c]);
            out = put(out, kCrLf);
        }
        sink.advance(put(out, kCrLf));
    }

    void writeNameAndAddress(const SqliteStatement& row, ByteSink& sink) {
        Value name = valueOf(row, 0);
        trimBytes(name.bytes, name.length); // a date's value text has no blanks to trim
        const Value address = valueOf(row, 1);
        char* out = sink.room(name.maxSize() + address.maxSize() + 16);
        out = putValue(out, name);
        out = put(out, kWebsiteSeparator);
        out = putValue(out, address);
        sink.advance(put(out, kCrLf));
    }

    Value valueOf(const SqliteStatement& row, int column) {
        int length = 0;
        const char* bytes = row.utf8(column + 1, &length); // the row id comes first
        if (size_t(column) < m_dates.size() && m_dates[size_t(column)]) {
            const QByteArray& text = dateText(row, column, bytes, length);
            return {text.constData(), text.size(), true};
        }
        return {bytes, length, false};
    }

    char* putValue(char* out, const Value& value) {
        if (!value.converted)
            return m_encoder.appendUtf8(out, value.bytes, value.length);
        std::memcpy(out, value.bytes, size_t(value.length));
        return out + value.length;
    }

    // A date's value text goes through the locale's formats, which costs microseconds, while
    // a book holds a few thousand distinct dates: each is converted once per export. The
    // cache is only cleared between records, so the texts of one record stay valid.
    const QByteArray& dateText(const SqliteStatement& row, int column, const char* stored,
                               int length) {
        const auto known = m_dateTexts.constFind(QByteArray::fromRawData(stored, length));
        if (known != m_dateTexts.constEnd())
            return known.value();
        const QByteArray text = m_encoder.encode(m_dataset.storedValueText(row, column));
        return m_dateTexts.insert(QByteArray(stored, length), text).value();
    }

    const BookDataset& m_dataset;
    RecordLayout m_layout;
    Gb18030Encoder m_encoder;
    std::vector<QByteArray> m_prefixes; // each column's name and ":", already encoded
    qsizetype m_prefixBytes = 0;
    std::vector<bool> m_dates;
    std::vector<Value> m_values;               // of the record being written
    QHash<QByteArray, QByteArray> m_dateTexts; // stored date -> encoded value text
};

} // namespace

QString textExportTarget(const QString& chosenName) {
    const QString txt = QStringLiteral(".txt");
    return extensionOf(chosenName) == txt ? chosenName : chosenName + txt;
}

void writeBookText(BookDataset& dataset, BookId book, const QString& target) {
    const BookExport& description = bookExport(book);
    ExportFile file(target);
    BookTextWriter writer(dataset, description.layout);
    writer.writeLine(description.header, file);
    GridOrderSpool spool(dataset.rowCount(), QFileInfo(target).absolutePath(),
                         cannotCreate(target).message());
    dataset.forEachRecordInTableOrder([&](const SqliteStatement& row, int gridRow) {
        spool.startRecord(gridRow);
        writer.writeRecord(row, spool);
    });
    spool.writeTo(file);
    dataset.last();
    file.advance(put(file.room(2), kCrLf));
    file.commit();
}

void exportBookText(RecordStore& store, BookId book, const QString& chosenName) {
    if (!store.isOpen() || chosenName.isEmpty())
        return;
    const QString target = textExportTarget(chosenName);
    refuseOpenDatabase(target, store.connection().fileName());
    writeBookText(store.book(book), book, target);
}

} // namespace qb
