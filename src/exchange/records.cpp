#include "records.h"

#include <QIODevice>
#include <QStringDecoder>

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

// Copies into the caller's buffer, which keeps its room from line to line.
void LineSource::take(qsizetype from, qsizetype to, QByteArray& line) const {
    line.resize(0);
    line.append(QByteArrayView(m_buffer).sliced(from, to - from));
}

bool LineSource::next(QByteArray& line) {
    qsizetype searched = m_pos;
    for (;;) {
        const qsizetype end = m_buffer.indexOf('\n', searched);
        if (end >= 0) {
            const qsizetype stop = end > m_pos && m_buffer[end - 1] == '\r' ? end - 1 : end;
            take(m_pos, stop, line);
            m_pos = end + 1;
            ++m_lineNumber;
            return true;
        }
        if (m_buffer.size() - m_pos > m_maxLineBytes)
            failAtLine(m_lineNumber + 1,
                       QStringLiteral("这一行太长（超过 %1 字节）").arg(m_maxLineBytes));
        searched = m_buffer.size() - m_pos;
        if (!fill()) {
            if (m_pos >= m_buffer.size())
                return false;
            take(m_pos, m_buffer.size(), line);
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

void setBytes(QByteArray& value, QByteArrayView bytes) {
    value.resize(0);
    value.append(bytes);
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
