#include "pinyin.h"

#include "textfold.h"

#include <algorithm>
#include <array>
#include <memory>
#include <unordered_map>
#include <vector>

namespace qb {

namespace {

struct ReadingEntry {
    char32_t character;
    unsigned short set;
};

#include "pinyintable.inc"

// Each character's first reading, looked up directly: sorting a big book looks up every
// character of every key. A reading is one of a few hundred syllables, so a character holds
// the syllable's number (0: none) and the whole table takes 128 KiB.
class FirstReadings {
public:
    FirstReadings() {
        m_syllables.emplace_back();
        std::unordered_map<std::string_view, quint16> numbers;
        for (const ReadingEntry& entry : kReadingEntries) {
            const std::string_view readings = kReadingSets[entry.set];
            const std::string_view first = readings.substr(0, readings.find(','));
            const auto [at, added] = numbers.try_emplace(first, quint16(m_syllables.size()));
            if (added)
                m_syllables.push_back(first);
            if (entry.character < m_numbers.size())
                m_numbers[entry.character] = at->second;
        }
    }
    std::string_view of(char16_t c) const { return m_syllables[m_numbers[c]]; }

private:
    std::array<quint16, 0x10000> m_numbers{};
    std::vector<std::string_view> m_syllables;
};

const FirstReadings& firstReadings() {
    static const std::unique_ptr<FirstReadings> table = std::make_unique<FirstReadings>();
    return *table;
}

// The parts of a text's sort key in turn: the first reading of each Chinese character, every
// other character folded as a search folds it.
template <typename OnReading, typename OnOther>
void forEachSortPart(QStringView text, OnReading onReading, OnOther onOther) {
    const FirstReadings& readings = firstReadings();
    for (QChar c : text) {
        const std::string_view reading = readings.of(c.unicode());
        if (reading.empty())
            onOther(foldChar(c));
        else
            onReading(reading);
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

// One UTF-16 unit of a text as its sort key writes it in bytes.
void appendSortBytes(const FirstReadings& readings, char16_t u, std::string& out) {
    const std::string_view reading = readings.of(u);
    if (reading.empty()) {
        appendUnit(foldChar(QChar(u)).unicode(), out);
        return;
    }
    out += reading;
    out += ' ';
}

constexpr char32_t kNotUtf8 = 0xFFFFFFFF;

// The character of a multi-byte sequence starting at `at`, which moves past it; kNotUtf8 for
// anything but the shortest form of a character that is not a surrogate.
char32_t decodeUtf8(const quint8*& at, const quint8* end) {
    const quint8 lead = *at;
    int more = 0;
    char32_t character = 0;
    char32_t least = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        more = 1, character = lead & 0x1F, least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        more = 2, character = lead & 0x0F, least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        more = 3, character = lead & 0x07, least = 0x10000;
    } else {
        return kNotUtf8;
    }
    if (end - at <= more)
        return kNotUtf8;
    for (int i = 1; i <= more; ++i) {
        if ((at[i] & 0xC0) != 0x80)
            return kNotUtf8;
        character = character << 6 | (at[i] & 0x3F);
    }
    if (character < least || character > 0x10FFFF || (character >= 0xD800 && character <= 0xDFFF))
        return kNotUtf8;
    at += more + 1;
    return character;
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
    const FirstReadings& readings = firstReadings();
    for (QChar c : text)
        appendSortBytes(readings, c.unicode(), out);
}

bool appendPinyinSortBytesOfUtf8(QByteArrayView utf8, std::string& out) {
    const size_t start = out.size();
    const FirstReadings& readings = firstReadings();
    const auto* at = reinterpret_cast<const quint8*>(utf8.data());
    const auto* const end = at + utf8.size();
    while (at < end) {
        if (*at < 0x80) { // folded as foldChar folds it: only A to Z change
            out += char(*at >= 'A' && *at <= 'Z' ? *at + ('a' - 'A') : *at);
            ++at;
            continue;
        }
        const char32_t character = decodeUtf8(at, end);
        if (character == kNotUtf8) {
            out.resize(start);
            return false;
        }
        if (QChar::requiresSurrogates(character)) {
            appendSortBytes(readings, QChar::highSurrogate(character), out);
            appendSortBytes(readings, QChar::lowSurrogate(character), out);
        } else {
            appendSortBytes(readings, char16_t(character), out);
        }
    }
    return true;
}

} // namespace qb
