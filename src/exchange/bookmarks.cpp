#include "bookmarks.h"

#include <QHash>
#include <QIODevice>

namespace qb {

namespace {

// Browsers' bookmark files run to a few megabytes, icons included; a bigger file is refused
// rather than read whole.
constexpr qint64 kMaxFileBytes = 64 * 1024 * 1024;
const char kUserPrefix[] = "注册名：";

// Escapes for text and attribute values. Line breaks and blanks at either end are written as
// character references, so reading back keeps them while the file's own layout is ignored.
void appendEscaped(QByteArrayView value, QByteArray& out) {
    qsizetype begin = 0;
    qsizetype end = value.size();
    while (begin < end && value[begin] == ' ')
        ++begin;
    while (end > begin && value[end - 1] == ' ')
        --end;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (c == ' ' && (i < begin || i >= end))
            out.append("&#32;");
        else if (c == '&')
            out.append("&amp;");
        else if (c == '<')
            out.append("&lt;");
        else if (c == '>')
            out.append("&gt;");
        else if (c == '"')
            out.append("&quot;");
        else if (c == '\n')
            out.append("&#10;");
        else if (c == '\r')
            out.append("&#13;");
        else if (c == '\t')
            out.append("&#9;");
        else
            out.append(c);
    }
}

QString decodeEntities(QStringView text) {
    static const QHash<QString, QChar> named = {
        {QStringLiteral("amp"), u'&'},   {QStringLiteral("lt"), u'<'},
        {QStringLiteral("gt"), u'>'},    {QStringLiteral("quot"), u'"'},
        {QStringLiteral("apos"), u'\''}, {QStringLiteral("nbsp"), QChar(0xA0)},
    };
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qsizetype semi = text[i] == u'&' ? text.indexOf(u';', i) : -1;
        if (semi > i && semi - i <= 10) {
            const QStringView name = text.sliced(i + 1, semi - i - 1);
            bool ok = false;
            uint code = 0;
            if (name.startsWith(QLatin1String("#x"), Qt::CaseInsensitive))
                code = name.sliced(2).toUInt(&ok, 16);
            else if (name.startsWith(u'#'))
                code = name.sliced(1).toUInt(&ok, 10);
            if (ok && code > 0 && code <= 0x10FFFF && !QChar::isSurrogate(code)) {
                out += QString::fromUcs4(reinterpret_cast<const char32_t*>(&code), 1);
                i = semi;
                continue;
            }
            const auto known = named.constFind(name.toString());
            if (known != named.constEnd()) {
                out += *known;
                i = semi;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

// The value of one attribute inside a tag's text, quoted or not; empty when missing.
QString attribute(QStringView tag, QStringView name) {
    for (qsizetype at = tag.indexOf(name, 0, Qt::CaseInsensitive); at >= 0;
         at = tag.indexOf(name, at + 1, Qt::CaseInsensitive)) {
        if (at == 0 || !tag[at - 1].isSpace())
            continue;
        qsizetype pos = at + name.size();
        while (pos < tag.size() && tag[pos].isSpace())
            ++pos;
        if (pos >= tag.size() || tag[pos] != u'=')
            continue;
        ++pos;
        while (pos < tag.size() && tag[pos].isSpace())
            ++pos;
        if (pos < tag.size() && (tag[pos] == u'"' || tag[pos] == u'\'')) {
            const qsizetype close = tag.indexOf(tag[pos], pos + 1);
            return decodeEntities(tag.sliced(pos + 1, (close < 0 ? tag.size() : close) - pos - 1));
        }
        qsizetype end = pos;
        while (end < tag.size() && !tag[end].isSpace())
            ++end;
        return decodeEntities(tag.sliced(pos, end - pos));
    }
    return {};
}

QString trimmedHtml(QStringView text) {
    return decodeEntities(text.trimmed());
}

} // namespace

QByteArray BookmarkWriter::header() {
    return "<!DOCTYPE NETSCAPE-Bookmark-file-1>\r\n"
           "<!-- This is an automatically generated file.\r\n"
           "     It will be read and overwritten.\r\n"
           "     DO NOT EDIT! -->\r\n"
           "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=UTF-8\">\r\n"
           "<TITLE>Bookmarks</TITLE>\r\n"
           "<H1>Bookmarks</H1>\r\n"
           "<DL><p>\r\n";
}

QByteArray BookmarkWriter::footer() {
    return "</DL><p>\r\n";
}

void BookmarkWriter::writeRecord(const Utf8Record& record, QByteArray& out) {
    out.append("    <DT><A HREF=\"");
    appendEscaped(record[1], out);
    out.append("\">");
    appendEscaped(record[0], out);
    out.append("</A>\r\n");
    if (record[2].isEmpty() && record[3].isEmpty())
        return;
    out.append("    <DD>");
    if (!record[2].isEmpty()) {
        out.append(kUserPrefix);
        appendEscaped(record[2], out);
        out.append("&#10;");
    }
    appendEscaped(record[3], out);
    out.append("\r\n");
}

BookmarkReader::BookmarkReader(QIODevice& device, int columnCount)
    : m_columnCount(columnCount) {
    if (device.size() > kMaxFileBytes)
        throw DataError(QStringLiteral("书签文件太大（超过 %1 MB），不像是浏览器的书签文件")
                            .arg(kMaxFileBytes / (1024 * 1024)));
    const QByteArray bytes = device.read(kMaxFileBytes + 1);
    if (bytes.size() > kMaxFileBytes)
        throw DataError(QStringLiteral("书签文件太大（超过 %1 MB），不像是浏览器的书签文件")
                            .arg(kMaxFileBytes / (1024 * 1024)));
    const std::optional<QString> text = utf8Text(bytes);
    if (!text)
        throw DataError(QStringLiteral("书签文件不是 UTF-8 编码"));
    m_text = *text;
    if (!m_text.contains(QLatin1String("<A"), Qt::CaseInsensitive) &&
        !m_text.contains(QLatin1String("NETSCAPE-Bookmark-file"), Qt::CaseInsensitive))
        throw DataError(QStringLiteral("这不是书签文件（没有链接）"));
}

bool BookmarkReader::next(Utf8Values& values) {
    if (!nextTexts(m_texts))
        return false;
    values.clear();
    for (const QString& text : std::as_const(m_texts))
        values.push_back(text.toUtf8());
    return true;
}

bool BookmarkReader::nextTexts(QStringList& values) {
    const QStringView text(m_text);
    for (;;) {
        const qsizetype open = text.indexOf(QLatin1String("<A"), m_pos, Qt::CaseInsensitive);
        if (open < 0)
            return false;
        const qsizetype tagEnd = text.indexOf(u'>', open);
        if (tagEnd < 0)
            return false;
        m_pos = tagEnd + 1;
        const QStringView tag = text.sliced(open + 2, tagEnd - open - 2);
        if (tag.isEmpty() || !tag.front().isSpace())
            continue; // <ABBR>, <ADDRESS> and the like
        if (!tag.contains(QLatin1String("HREF"), Qt::CaseInsensitive))
            continue; // an anchor that links nowhere is no website
        const QString href = attribute(tag, u"HREF");
        qsizetype close = text.indexOf(QLatin1String("</A"), m_pos, Qt::CaseInsensitive);
        if (close < 0)
            close = text.size();
        values = QStringList(m_columnCount);
        values[0] = trimmedHtml(text.sliced(m_pos, close - m_pos));
        if (values[0].isEmpty())
            values[0] = href;
        values[1] = href;
        m_pos = close;
        const qsizetype closeEnd = text.indexOf(u'>', m_pos);
        if (closeEnd < 0) {
            m_pos = text.size(); // a file cut off inside its last link
            return true;
        }
        // A description is the <DD> right after the link, before the next entry.
        const qsizetype next = text.indexOf(u'<', closeEnd + 1);
        if (next >= 0 && text.sliced(next).startsWith(QLatin1String("<DD>"), Qt::CaseInsensitive)) {
            const qsizetype end = text.indexOf(u'<', next + 4);
            QString description =
                trimmedHtml(text.sliced(next + 4, (end < 0 ? text.size() : end) - next - 4));
            const QString prefix = QString::fromUtf8(kUserPrefix);
            if (description.startsWith(prefix)) {
                const qsizetype lineEnd = description.indexOf(u'\n');
                values[2] = description.mid(prefix.size(), lineEnd - prefix.size());
                description = lineEnd < 0 ? QString() : description.mid(lineEnd + 1);
            }
            values[3] = description;
            m_pos = next + 4;
        }
        return true;
    }
}

} // namespace qb
