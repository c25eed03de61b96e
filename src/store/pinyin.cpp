#include "pinyin.h"

#include "textfold.h"

#include <algorithm>

namespace qb {

namespace {

struct ReadingEntry {
    char32_t character;
    unsigned short set;
};

#include "pinyintable.inc"

// The parts of a text's sort key in turn: the first reading of each Chinese character, every
// other character folded as a search folds it.
template <typename OnReading, typename OnOther>
void forEachSortPart(QStringView text, OnReading onReading, OnOther onOther) {
    for (QChar c : text) {
        const std::string_view readings = pinyinReadings(c.unicode());
        if (readings.empty())
            onOther(foldChar(c));
        else
            onReading(readings.substr(0, readings.find(',')));
    }
}

// One UTF-16 unit in one to three bytes, as UTF-8 would write it: the bytes compare as the
// units do, and the many ASCII letters of a key take one byte each.
void appendUnit(char16_t u, std::string& out) {
    if (u < 0x80) {
        out += char(u);
    } else if (u < 0x800) {
        out += char(0xC0 | u >> 6);
        out += char(0x80 | (u & 0x3F));
    } else {
        out += char(0xE0 | u >> 12);
        out += char(0x80 | (u >> 6 & 0x3F));
        out += char(0x80 | (u & 0x3F));
    }
}

} // namespace

std::string_view pinyinReadings(char32_t character) {
    const auto end = std::end(kReadingEntries);
    if (character < kReadingEntries[0].character) // Latin letters and digits, at once
        return {};
    const auto found = std::lower_bound(
        std::begin(kReadingEntries), end, character,
        [](const ReadingEntry& entry, char32_t wanted) { return entry.character < wanted; });
    if (found == end || found->character != character)
        return {};
    return kReadingSets[found->set];
}

QString pinyinSortKey(QStringView text) {
    QString key;
    key.reserve(text.size() * 3);
    forEachSortPart(
        text,
        [&](std::string_view reading) {
            key += QLatin1StringView(reading);
            key += QLatin1Char(' ');
        },
        [&](QChar c) { key += c; });
    return key;
}

void appendPinyinSortBytes(QStringView text, std::string& out) {
    forEachSortPart(
        text,
        [&](std::string_view reading) {
            out += reading;
            out += ' ';
        },
        [&](QChar c) { appendUnit(c.unicode(), out); });
}

} // namespace qb
