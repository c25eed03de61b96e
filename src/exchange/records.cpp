#include "records.h"

#include <QDate>
#include <QIODevice>
#include <QStringDecoder>

#include <cstring>

namespace qb {

namespace {
// Read in pieces of this size: large enough that reading costs nothing next to parsing.
constexpr qsizetype kReadBytes = 256 * 1024;
} // namespace

LineSource::LineSource(QIODevice& device, qsizetype maxLineBytes)
    : m_device(device)
    , m_maxLineBytes(maxLineBytes) {}

bool LineSource::fill() {
    if (m_atEnd)
        return false;
    m_buffer.remove(0, m_pos);
    m_pos = 0;
    const qsizetype old = m_buffer.size();
    m_buffer.resize(old + kReadBytes);
    const qint64 got = m_device.read(m_buffer.data() + old, kReadBytes);
    if (got < 0)
        throw DataError(QStringLiteral("读取文件失败：%1").arg(m_device.errorString()));
    m_buffer.resize(old + got);
    m_atEnd = got == 0;
    return got > 0;
}

// The byte after a line break is read with its line, so that peek() can answer without
// reading on, which would move the line handed out.
bool LineSource::next(QByteArrayView& line) {
    qsizetype searched = m_pos;
    for (;;) {
        const char* const data = m_buffer.constData();
        const auto* found = static_cast<const char*>(
            std::memchr(data + searched, '\n', size_t(m_buffer.size() - searched)));
        const qsizetype end = found ? found - data : -1;
        if (end >= 0 && (end + 1 < m_buffer.size() || m_atEnd)) {
            const qsizetype stop = end > m_pos && m_buffer[end - 1] == '\r' ? end - 1 : end;
            line = QByteArrayView(data + m_pos, stop - m_pos);
            m_pos = end + 1;
            ++m_lineNumber;
            return true;
        }
        if (end < 0 && m_buffer.size() - m_pos > m_maxLineBytes)
            failAtLine(m_lineNumber + 1,
                       QStringLiteral("这一行太长（超过 %1 字节）").arg(m_maxLineBytes));
        searched = (end >= 0 ? end : m_buffer.size()) - m_pos;
        if (!fill() && end < 0) {
            if (m_pos >= m_buffer.size())
                return false;
            line = QByteArrayView(m_buffer).sliced(m_pos);
            if (line.endsWith('\r'))
                line.chop(1);
            m_pos = m_buffer.size();
            ++m_lineNumber;
            return true;
        }
        searched += m_pos; // fill() moved the unread bytes to the front
    }
}

std::optional<QString> utf8Text(QByteArrayView bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

bool isIsoDate(QByteArrayView bytes) {
    if (bytes.size() != 10 || bytes[4] != '-' || bytes[7] != '-')
        return false;
    const auto number = [bytes](qsizetype from, qsizetype digits) {
        int value = 0;
        for (qsizetype i = from; i < from + digits; ++i) {
            if (bytes[i] < '0' || bytes[i] > '9')
                return -1;
            value = value * 10 + (bytes[i] - '0');
        }
        return value;
    };
    const int year = number(0, 4);
    return year > 0 && QDate(year, number(5, 2), number(8, 2)).isValid();
}

void setBytes(QByteArray& value, QByteArrayView bytes) {
    value.resize(bytes.size());
    if (!bytes.isEmpty()) // an empty view may have no data to copy from
        std::memcpy(value.data(), bytes.data(), size_t(bytes.size()));
}

void clearValues(Utf8Values& values, qsizetype columnCount) {
    values.resize(size_t(columnCount));
    for (QByteArray& value : values)
        value.resize(0);
}

void failAtLine(qint64 line, const QString& what) {
    throw DataError(QStringLiteral("文件第 %1 行：%2").arg(line).arg(what));
}

} // namespace qb
