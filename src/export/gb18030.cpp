#include "gb18030.h"

#include "store/dataerror.h"
#include "store/gb18030length.h"

#include <cstring>

namespace qb {

namespace {

constexpr char32_t kFirstTabled = 0x80;
constexpr char32_t kTableSize = 0x10000 - kFirstTabled;

constexpr bool isSurrogate(char32_t c) {
    return c >= 0xD800 && c <= 0xDFFF;
}
constexpr bool isContinuation(unsigned char b) {
    return (b & 0xC0) == 0x80;
}

// Eight bytes at a time: values are mostly short, but addresses and notes are not.
bool isAscii(const char* bytes, qsizetype length) {
    constexpr quint64 kHighBits = 0x8080808080808080ULL;
    qsizetype i = 0;
    for (; i + 8 <= length; i += 8) {
        quint64 word;
        std::memcpy(&word, bytes + i, sizeof word);
        if (word & kHighBits)
            return false;
    }
    for (; i < length; ++i)
        if (static_cast<unsigned char>(bytes[i]) >= 0x80)
            return false;
    return true;
}

// Room for n more bytes at the end of out; the caller sets the final size.
char* growBy(QByteArray& out, qsizetype n) {
    const qsizetype used = out.size();
    out.resize(used + n);
    return out.data() + used;
}

} // namespace

Gb18030Encoder::Gb18030Encoder()
    : m_encoder("GB18030", QStringConverter::Flag::Stateless)
    , m_utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless) {
    if (!m_encoder.isValid())
        throw DataError(QStringLiteral("系统不支持 GB18030 编码"));
}

Gb18030Encoder::~Gb18030Encoder() = default;

// One conversion of all tabled characters, cut into sequences (surrogates stand for none).
void Gb18030Encoder::buildTable() {
    QString all;
    all.reserve(kTableSize);
    for (char32_t c = kFirstTabled; c < 0x10000; ++c)
        if (!isSurrogate(c))
            all.append(QChar(char16_t(c)));
    const QByteArray encoded = encode(all);
    m_table = std::make_unique<Entry[]>(kTableSize);
    QByteArrayView rest = encoded;
    for (char32_t c = kFirstTabled; c < 0x10000; ++c) {
        if (isSurrogate(c))
            continue;
        Entry& entry = m_table[c - kFirstTabled];
        entry.length = quint8(gb18030CharacterLength(rest));
        std::memcpy(entry.bytes, rest.data(), entry.length);
        rest = rest.sliced(entry.length);
    }
    Q_ASSERT(rest.isEmpty());
}

char* Gb18030Encoder::appendUtf8(char* out, const char* utf8, qsizetype length) {
    if (length == 0)
        return out; // a NULL value has no bytes at all, not even an address
    if (isAscii(utf8, length)) {
        std::memcpy(out, utf8, size_t(length));
        return out + length;
    }
    if (!m_table)
        buildTable(); // only a converter that meets non-ASCII database text needs it
    const auto* in = reinterpret_cast<const unsigned char*>(utf8);
    const auto* end = in + length;
    char* written = out;
    while (in < end) {
        char32_t c = in[0];
        if (c < 0x80) {
            *written++ = char(c);
            ++in;
            continue;
        }
        if (c >= 0xC2 && c < 0xE0 && end - in >= 2 && isContinuation(in[1])) {
            c = (c & 0x1F) << 6 | (in[1] & 0x3F);
            in += 2;
        } else if (c >= 0xE0 && c < 0xF0 && end - in >= 3 && isContinuation(in[1]) &&
                   isContinuation(in[2])) {
            c = (c & 0x0F) << 12 | (in[1] & 0x3F) << 6 | (in[2] & 0x3F);
            in += 3;
            if (c < 0x800 || isSurrogate(c))
                return appendThroughConverter(out, utf8, length); // malformed
        } else {
            return appendThroughConverter(out, utf8, length); // beyond the BMP, or malformed
        }
        const Entry& entry = m_table[c - kFirstTabled];
        std::memcpy(written, entry.bytes, sizeof entry.bytes);
        written += entry.length;
    }
    return written;
}

char* Gb18030Encoder::appendThroughConverter(char* out, const char* utf8, qsizetype length) {
    m_utf16.resize(m_utf8.requiredSpace(length));
    const QChar* end = m_utf8.appendToBuffer(m_utf16.data(), QByteArrayView(utf8, length));
    return m_encoder.appendToBuffer(out, QStringView(m_utf16.constData(), end));
}

void Gb18030Encoder::append(QByteArray& out, QStringView text) {
    char* end = m_encoder.appendToBuffer(growBy(out, m_encoder.requiredSpace(text.size())), text);
    out.resize(end - out.constData());
}

QByteArray Gb18030Encoder::encode(QStringView text) {
    QByteArray out;
    append(out, text);
    return out;
}

} // namespace qb
