#include "exchangecommands.h"

#include "bookmarks.h"
#include "csv.h"
#include "export/exportfile.h"
#include "platform/filedialog.h"
#include "store/recordstore.h"
#include "store/sqlitestatement.h"
#include "vcard.h"

#include <QFile>

#include <atomic>
#include <cstring>
#include <memory>

namespace qb {

namespace {

// Written out in pieces of this size, so memory stays flat for a book of any size.
constexpr qsizetype kFlushBytes = 256 * 1024;
// Records between two progress calls during an export.
constexpr int kProgressEvery = 1024;

struct FormatFiles {
    const char* filter;
    const char* extension;
};

const FormatFiles& formatFiles(ExchangeFormat format) {
    static constexpr FormatFiles kFiles[] = {
        {"vCard 名片|*.vcf", ".vcf"},
        {"书签文件|*.html", ".html"},
        {"CSV 表格|*.csv", ".csv"},
    };
    return kFiles[static_cast<int>(format)];
}

QStringList columnNames(const BookDataset& book) {
    QStringList names;
    for (const Column& column : book.columns())
        names << column.name;
    return names;
}

struct Cancelled {};

// Buffers the formatted records for the export file, which writes beside the target and
// renames into place: a link at the target is replaced, never written through.
class OutputFile {
public:
    explicit OutputFile(const QString& target)
        : m_file(target) {
        m_buffer.reserve(2 * kFlushBytes);
    }
    QByteArray& buffer() { return m_buffer; }
    void flushWhenFull() {
        if (m_buffer.size() >= kFlushBytes)
            flush();
    }
    void commit() {
        flush();
        m_file.commit();
    }

private:
    void flush() {
        char* out = m_file.room(m_buffer.size());
        std::memcpy(out, m_buffer.constData(), size_t(m_buffer.size()));
        m_file.advance(out + m_buffer.size());
        m_buffer.clear();
    }

    ExportFile m_file;
    QByteArray m_buffer;
};

std::unique_ptr<RecordWriter> makeWriter(ExchangeFormat format, const QStringList& names,
                                         QByteArray& header, QByteArray& footer) {
    switch (format) {
    case ExchangeFormat::VCard:
        return std::make_unique<VCardWriter>(names);
    case ExchangeFormat::Bookmarks:
        header = BookmarkWriter::header();
        footer = BookmarkWriter::footer();
        return std::make_unique<BookmarkWriter>();
    case ExchangeFormat::Csv:
        break;
    }
    auto csv = std::make_unique<CsvWriter>(names);
    header = csv->header();
    return csv;
}

std::unique_ptr<RecordReader> makeReader(ExchangeFormat format, QIODevice& file,
                                         const QStringList& names) {
    switch (format) {
    case ExchangeFormat::VCard:
        return std::make_unique<VCardReader>(file, names);
    case ExchangeFormat::Bookmarks:
        return std::make_unique<BookmarkReader>(file, int(names.size()));
    case ExchangeFormat::Csv:
        break;
    }
    return std::make_unique<CsvReader>(file, names);
}

// The chosen name, with the format's extension appended unless it already ends in it.
QString targetName(const QString& chosen, ExchangeFormat format) {
    const QString extension = QLatin1String(formatFiles(format).extension);
    return chosen.endsWith(extension, Qt::CaseInsensitive) ? chosen : chosen + extension;
}

// The file's place after each record, noted by the thread that reads the file for the
// progress window of the thread that stores the records.
class PositionNoting : public RecordReader {
public:
    PositionNoting(RecordReader& reader, const QIODevice& file)
        : m_reader(reader)
        , m_file(file) {}
    bool next(Utf8Values& values) override {
        const bool more = m_reader.next(values);
        m_position.store(m_file.pos(), std::memory_order_relaxed);
        return more;
    }
    QStringList notes() const override { return m_reader.notes(); }
    qint64 position() const { return m_position.load(std::memory_order_relaxed); }

private:
    RecordReader& m_reader;
    const QIODevice& m_file;
    std::atomic<qint64> m_position = 0;
};

} // namespace

bool writeBookFile(BookDataset& book, ExchangeFormat format, const QString& target,
                   bool currentOnly, const ExchangeProgress& progress) {
    QByteArray header;
    QByteArray footer;
    const std::unique_ptr<RecordWriter> writer =
        makeWriter(format, columnNames(book), header, footer);
    OutputFile file(target);
    file.buffer().append(header);
    const int columns = int(book.columns().size());
    const int current = book.currentRow();
    const qint64 total = currentOnly ? 1 : book.rowCount();
    Utf8Record record(static_cast<size_t>(columns));
    qint64 done = 0;
    try {
        // The table's own order: several times faster than the grid's through a big book, and
        // the order a file's records come in means nothing to the programs that read it.
        book.forEachRecordInTableOrder([&](const SqliteStatement& row, int gridRow) {
            if (currentOnly && gridRow != current)
                return;
            for (int c = 0; c < columns; ++c) {
                int length = 0;
                const char* bytes = row.utf8(c + 1, &length); // the row id comes first
                record[size_t(c)] = QByteArrayView(bytes, length);
            }
            writer->writeRecord(record, file.buffer());
            file.flushWhenFull();
            if (++done % kProgressEvery == 0 && progress && !progress(done, total))
                throw Cancelled();
        });
    } catch (const Cancelled&) {
        return false; // the temporary file goes, the target stays as it was
    }
    file.buffer().append(footer);
    file.commit();
    return true;
}

ExchangeImportReport readBookFile(BookDataset& book, ExchangeFormat format, const QString& fileName,
                                  const DuplicateQuestion& ask, const ExchangeProgress& progress) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw DataError(QStringLiteral("无法打开文件 %1：%2").arg(fileName, file.errorString()));
    const std::unique_ptr<RecordReader> reader = makeReader(format, file, columnNames(book));
    PositionNoting noting(*reader, file);
    const qint64 size = file.size();
    return importRecords(book, noting, ask,
                         [&] { return !progress || progress(noting.position(), size); });
}

DuplicateChoice askDuplicateChoice(const QString& key) {
    const QString replace = QStringLiteral("“%1”已经有了。用文件中的记录替换已有的记录吗？\n"
                                           "本次导入中所有重复的记录都照此处理。")
                                .arg(key);
    if (platform().messageBox(replace, QStringLiteral("导入"), mb::YesNo | mb::IconExclamation) ==
        mb::IdYes)
        return DuplicateChoice::Replace;
    const QString keepBoth =
        QStringLiteral("两份都保留吗？文件中的记录以带编号的名称加入（如“%1 (2)”）；"
                       "选“否”则跳过重复的记录。")
            .arg(key);
    return platform().messageBox(keepBoth, QStringLiteral("导入"),
                                 mb::YesNo | mb::IconExclamation) == mb::IdYes
               ? DuplicateChoice::KeepBoth
               : DuplicateChoice::Skip;
}

void exportBookFile(RecordStore& store, BookId book, ExchangeFormat format, bool currentOnly,
                    FileDialog& dialog, const ExchangeProgress& progress) {
    if (!store.isOpen())
        return;
    dialog.setFilter(QString::fromUtf8(formatFiles(format).filter));
    const QString chosen = dialog.execute();
    if (chosen.isEmpty())
        return;
    const QString target = targetName(chosen, format);
    refuseOpenDatabase(target, store.connection().fileName());
    writeBookFile(store.book(book), format, target, currentOnly, progress);
}

void importBookFile(RecordStore& store, BookId book, ExchangeFormat format, FileDialog& dialog,
                    const ExchangeProgress& progress) {
    if (!store.isOpen())
        return;
    dialog.setFilter(QString::fromUtf8(formatFiles(format).filter));
    const QString chosen = dialog.execute();
    if (chosen.isEmpty())
        return;
    const ExchangeImportReport report =
        readBookFile(store.book(book), format, chosen, askDuplicateChoice, progress);
    platform().messageBox(report.text(), QStringLiteral("导入"),
                          report.skipped > 0 ? mb::IconExclamation : mb::Ok);
}

} // namespace qb
