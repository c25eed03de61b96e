#include "tables.h"

#include <QFile>
#include <QRegularExpression>

namespace qb::test {

namespace {

QString unescape(const QString& cell) {
    if (cell == u"\\0")
        return {};
    QString out = QStringLiteral(""); // a cell of blanks alone is empty, not missing
    for (qsizetype i = 0; i < cell.size(); ++i) {
        if (cell[i] != u'\\' || i + 1 == cell.size()) {
            out += cell[i];
            continue;
        }
        const QChar c = cell[++i];
        if (c == u'x' || c == u'u') {
            const int digits = c == u'x' ? 2 : 4;
            out += QChar(char16_t(cell.mid(i + 1, digits).toUShort(nullptr, 16)));
            i += digits;
        } else if (c == u'[') {
            const qsizetype close = cell.indexOf(u']', i);
            const qsizetype width = cell[close + 1].isHighSurrogate() ? 2 : 1;
            out += cell.mid(close + 1, width).repeated(cell.mid(i + 1, close - i - 1).toInt());
            i = close + width;
        } else {
            const qsizetype at = QStringView(u"rnts|\\").indexOf(c);
            if (at < 0)
                throw std::runtime_error("unknown escape in a table file");
            out += QStringView(u"\r\n\t |\\")[at];
        }
    }
    return out;
}

} // namespace

QByteArray bytesOf(const QString& cell) {
    if (cell.isNull())
        return {};
    QByteArray bytes;
    for (const char32_t c : cell.toUcs4())
        bytes += c <= 0xFF ? QByteArray(1, char(c)) : QString::fromUcs4(&c, 1).toUtf8();
    return bytes;
}

QString dataFile(const QString& name) {
    return QStringLiteral(QB_TEST_DATA "/") + name;
}

QByteArray goldenBytes(const QString& name) {
    QFile file(dataFile(name));
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("missing golden file");
    return file.readAll();
}

QList<TableRow> readTable(const QString& name) {
    QList<TableRow> rows;
    for (const QString& line : QString::fromUtf8(goldenBytes(name)).split(u'\n')) {
        if (line.trimmed().isEmpty() || line.startsWith(u'#'))
            continue;
        QStringList cells;
        for (const QString& cell : line.split(QRegularExpression(QStringLiteral("(?<!\\\\)\\|"))))
            cells << unescape(cell.trimmed());
        rows.append({cells.takeFirst(), cells});
    }
    return rows;
}

void addTableRows(const QString& name, const QList<const char*>& columns) {
    for (const char* column : columns)
        QTest::addColumn<QString>(column);
    for (const TableRow& row : readTable(name)) {
        if (row.cells.size() != columns.size())
            throw std::runtime_error("wrong number of cells in a table row");
        QTestData& data = QTest::newRow(row.name.toUtf8().constData());
        for (const QString& cell : row.cells)
            data << cell;
    }
}

void addTableRows(const QString& name) {
    QTest::addColumn<QStringList>("cells");
    for (const TableRow& row : readTable(name))
        QTest::newRow(row.name.toUtf8().constData()) << row.cells;
}

} // namespace qb::test
