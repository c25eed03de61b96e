#include "pinyin.h"

#include "textfold.h"

#include <algorithm>
#include <array>
#include <cstring>
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
    // A reading with the blank that ends it in a sort key, in a fixed buffer that is copied
    // whole (no syllable has more than six letters).
    struct Syllable {
        std::array<char, 16> text{};
        quint8 size = 0;
        std::string_view view() const { return {text.data(), size}; }
    };

    FirstReadings() {
        m_syllables.emplace_back();
        std::unordered_map<std::string_view, quint16> numbers;
        for (const ReadingEntry& entry : kReadingEntries) {
            const std::string_view readings = kReadingSets[entry.set];
            const std::string_view first = readings.substr(0, readings.find(','));
            const auto [at, added] = numbers.try_emplace(first, quint16(m_syllables.size()));
            if (added)
                m_syllables.push_back(syllable(first));
            if (entry.character < m_numbers.size())
                m_numbers[entry.character] = at->second;
        }
    }
    const Syllable& of(char16_t c) const { return m_syllables[m_numbers[c]]; }

private:
    static Syllable syllable(std::string_view reading) {
        Syllable syllable;
        const size_t size = std::min(reading.size(), syllable.text.size() - 1);
        std::copy_n(reading.begin(), size, syllable.text.begin());
        syllable.text[size] = ' ';
        syllable.size = quint8(size + 1);
        return syllable;
    }

    std::array<quint16, 0x10000> m_numbers{};
    std::vector<Syllable> m_syllables;
};

const FirstReadings& firstReadings() {
    static const std::unique_ptr<FirstReadings> table = std::make_unique<FirstReadings>();
    return *table;
}

// One UTF-16 unit in one to three bytes, as UTF-8 would write it: the bytes compare as the
// units do, and the many ASCII letters of a key take one byte each.
char* writeUnit(char16_t u, char* to) {
    if (u < 0x80) {
        *to++ = char(u);
    } else if (u < 0x800) {
        *to++ = char(0xC0 | u >> 6);
        *to++ = char(0x80 | (u & 0x3F));
    } else {
        *to++ = char(0xE0 | u >> 12);
        *to++ = char(0x80 | (u >> 6 & 0x3F));
        *to++ = char(0x80 | (u & 0x3F));
    }
    return to;
}

// A unit without a reading, folded as a search folds it.
[[gnu::noinline]] char* writeFoldedUnit(char16_t u, char* to) {
    return writeUnit(foldChar(QChar(u)).unicode(), to);
}

// One UTF-16 unit of a text as its sort key writes it in bytes: the first reading and a blank
// for a Chinese character, any other folded as a search folds it. Needs room for a whole
// Syllable buffer. Inlined, as it runs for every character of every key of a big book; the
// rare unit without a reading is written out of line.
inline char* writeSortBytes(const FirstReadings& readings, char16_t u, char* to) {
    const FirstReadings::Syllable& syllable = readings.of(u);
    if (syllable.size == 0)
        return writeFoldedUnit(u, to);
    std::memcpy(to, syllable.text.data(), syllable.text.size());
    return to + syllable.size;
}

// Room for what a text of `units` of input writes at most `perUnit` bytes each for, then the
// bytes `write` puts there; the string keeps what was written.
template <typename Write>
void appendWritten(std::string& out, size_t units, size_t perUnit, Write write) {
    const size_t start = out.size();
    out.resize(start + units * perUnit + sizeof(FirstReadings::Syllable::text));
    char* const end = write(out.data() + start);
    out.resize(size_t(end - out.data()));
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
    const FirstReadings& readings = firstReadings();
    QString key;
    key.reserve(text.size() * 3);
    for (QChar c : text) {
        const FirstReadings::Syllable& syllable = readings.of(c.unicode());
        if (syllable.size == 0)
            key += foldChar(c);
        else
            key += QLatin1StringView(syllable.view());
    }
    return key;
}

void appendPinyinSortBytes(QStringView text, std::string& out) {
    const FirstReadings& readings = firstReadings();
    appendWritten(out, size_t(text.size()), 7, [&](char* to) { // "zhuang "
        for (QChar c : text)
            to = writeSortBytes(readings, c.unicode(), to);
        return to;
    });
}

bool appendPinyinSortBytesOfUtf8(QByteArrayView utf8, std::string& out) {
    const FirstReadings& readings = firstReadings();
    bool valid = true;
    // A character of three bytes writes at most seven (a reading), one of four six.
    appendWritten(out, size_t(utf8.size()), 3, [&](char* const first) {
        char* to = first;
        const auto* at = reinterpret_cast<const quint8*>(utf8.data());
        const auto* const end = at + utf8.size();
        while (at < end) {
            if (*at < 0x80) { // folded as foldChar folds it: only A to Z change
                *to++ = char(*at >= 'A' && *at <= 'Z' ? *at + ('a' - 'A') : *at);
                ++at;
                continue;
            }
            const char32_t character = decodeUtf8(at, end);
            if (character == kNotUtf8) {
                valid = false;
                return first;
            }
            if (QChar::requiresSurrogates(character)) {
                to = writeSortBytes(readings, QChar::highSurrogate(character), to);
                to = writeSortBytes(readings, QChar::lowSurrogate(character), to);
            } else {
                to = writeSortBytes(readings, char16_t(character), to);
            }
        }
        return to;
    });
    return valid;
}

} // namespace qb
