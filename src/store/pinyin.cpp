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

} // namespace

std::string_view pinyinReadings(char32_t character) {
    const auto end = std::end(kReadingEntries);
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
    for (QChar c : text) {
        const std::string_view readings = pinyinReadings(c.unicode());
        if (readings.empty()) {
            key += foldChar(c);
            continue;
        }
        key += QLatin1StringView(readings.substr(0, readings.find(',')));
        key += QLatin1Char(' ');
    }
    return key;
}

} // namespace qb
