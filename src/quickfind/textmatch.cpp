#include "textmatch.h"

#include "store/pinyin.h"

#include <array>
#include <cstring>
#include <memory>

namespace qb {

namespace {

// Each character's readings and the first letters they can start with, looked up directly:
// a search tests every character of a big book, so a lookup is one array read.
struct ReadingLookup {
    std::array<std::string_view, 0x10000> readings;
    std::array<quint32, 0x10000> initials{};
};

const ReadingLookup& readingLookup() {
    static const std::unique_ptr<ReadingLookup> lookup = [] {
        auto built = std::make_unique<ReadingLookup>();
        for (char32_t c = 0; c < 0x10000; ++c) {
            const std::string_view readings = pinyinReadings(c);
            built->readings[c] = readings;
            bool startOfReading = true;
            for (char letter : readings) {
                if (startOfReading)
                    built->initials[c] |= 1u << (letter - 'a');
                startOfReading = letter == ',';
            }
        }
        return built;
    }();
    return *lookup;
}

quint32 letterBit(QChar c) {
    const char16_t u = c.unicode();
    return u >= 'a' && u <= 'z' ? 1u << (u - 'a') : 0;
}

// Longest common beginning of a reading and the rest of the query.
qsizetype commonPrefix(std::string_view reading, QStringView rest) {
    qsizetype n = 0;
    while (n < qsizetype(reading.size()) && n < rest.size() &&
           rest[n].unicode() == char16_t(reading[size_t(n)]))
        ++n;
    return n;
}

// The end of a match of query[q..] starting at text[at], or -1. A Chinese character takes
// all of one of its readings or a beginning of it, so "zw", "zhangw" and "zhangwei" all
// match 张伟; the longer take is tried first.
qsizetype matchFrom(QStringView text, qsizetype at, QStringView query, qsizetype q) {
    if (q == query.size())
        return at;
    if (at == text.size())
        return -1;
    const QChar c = text[at];
    if (c == query[q]) {
        if (const qsizetype end = matchFrom(text, at + 1, query, q + 1); end >= 0)
            return end;
    }
    const std::string_view readings = readingLookup().readings[c.unicode()];
    size_t start = 0;
    while (start < readings.size()) {
        const size_t comma = std::min(readings.find(',', start), readings.size());
        const std::string_view reading = readings.substr(start, comma - start);
        for (qsizetype take = commonPrefix(reading, query.mid(q)); take > 0; --take)
            if (const qsizetype end = matchFrom(text, at + 1, query, q + take); end >= 0)
                return end;
        start = comma + 1;
    }
    return -1;
}

bool isLatinLetter(QChar c) {
    return c.unicode() >= 'a' && c.unicode() <= 'z';
}

} // namespace

MatchQuery::MatchQuery(const QString& typed)
    : m_folded(foldText(typed))
    , m_initials(readingLookup().initials.data()) {
    for (QChar c : std::as_const(m_folded))
        if (!c.isSpace())
            m_pinyin += c;
    if (std::none_of(m_pinyin.cbegin(), m_pinyin.cend(), isLatinLetter))
        m_pinyin.clear();
    if (hasPinyin()) {
        m_first = m_pinyin.front().unicode();
        m_firstBit = letterBit(m_pinyin.front());
    }
}

qsizetype MatchQuery::pinyinMatchAt(QStringView folded, qsizetype at) const {
    if (!mayStartPinyin(folded[at]))
        return -1;
    if (m_pinyin.size() == 1) // one letter: the first test was the whole match
        return at + 1;
    return matchFrom(folded, at, m_pinyin, 0);
}

// Most of a book is ASCII (addresses, numbers, mail): four characters at a time are passed
// over when none of them is beyond ASCII or the query's first letter.
qsizetype MatchQuery::nextPinyinStart(QStringView folded, qsizetype from, qsizetype to) const {
    constexpr quint64 kLanes = 0x0001000100010001;
    constexpr quint64 kBeyondAscii = 0xFF80FF80FF80FF80;
    constexpr quint64 kHighBits = 0x8000800080008000;
    const quint64 firsts = kLanes * m_first;
    qsizetype at = from;
    for (; at + 4 <= to; at += 4) {
        quint64 word = 0;
        std::memcpy(&word, folded.data() + at, sizeof word);
        const quint64 unlike = word ^ firsts; // a lane is zero where the first letter is
        const bool hasFirst = ((unlike - kLanes) & ~unlike & kHighBits) != 0;
        if ((word & kBeyondAscii) != 0 || hasFirst)
            break;
    }
    while (at < to && !mayStartPinyin(folded[at]))
        ++at;
    return at;
}

TextMatch MatchQuery::match(QStringView folded) const {
    if (isEmpty())
        return {};
    const qsizetype plain = folded.indexOf(m_folded);
    if (plain == 0)
        return {0, m_folded.size()};
    for (qsizetype at = 0; hasPinyin() && at < folded.size(); ++at) {
        if (plain >= 0 && plain <= at)
            break;
        if (const qsizetype end = pinyinMatchAt(folded, at); end >= 0)
            return {at, end - at};
    }
    if (plain >= 0)
        return {plain, m_folded.size()};
    return {};
}

} // namespace qb
