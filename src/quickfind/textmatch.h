#pragma once

#include "store/textfold.h"

#include <QString>

namespace qb {

struct TextMatch {
    qsizetype start = -1;
    qsizetype length = 0;
    bool found() const { return start >= 0; }
    bool atStart() const { return start == 0; }
};

// What the user typed, prepared once for the many texts it is matched against.
class MatchQuery {
public:
    explicit MatchQuery(const QString& typed);

    bool isEmpty() const { return m_folded.isEmpty(); }
    const QString& folded() const { return m_folded; }
    // Whether the query may also match Chinese characters by their readings.
    bool hasPinyin() const { return !m_pinyin.isEmpty(); }

    // The best match in one folded text: a match at its start before one inside it, and at
    // the same place a match of the typed text before one by pinyin.
    TextMatch match(QStringView folded) const;
    // A match by pinyin starting at a place of the folded text: its end, or -1.
    qsizetype pinyinMatchAt(QStringView folded, qsizetype at) const;
    // Whether a pinyin match could start at this character: a cheap test a search makes on
    // every character of a book before it tries a match.
    bool mayStartPinyin(QChar c) const {
        return c.unicode() == m_first || (m_initials[c.unicode()] & m_firstBit);
    }
    // The first place from `from` on, before `to`, where mayStartPinyin holds; `to` when none.
    qsizetype nextPinyinStart(QStringView folded, qsizetype from, qsizetype to) const;

private:
    QString m_folded;
    QString m_pinyin; // the folded query without blanks; empty when it has no Latin letter
    char16_t m_first = 0;
    quint32 m_firstBit = 0;              // the first letter among the initials below
    const quint32* m_initials = nullptr; // per character, the first letters of its readings
};

} // namespace qb
