#pragma once

#include <QByteArrayView>
#include <QString>
#include <string>
#include <string_view>

namespace qb {

// The readings of one character, without tones and ü written as v, the most common first,
// separated by commas ("ceng,zeng"); empty for a character that is not Chinese.
std::string_view pinyinReadings(char32_t character);

// A text as it sorts in pinyin order: each Chinese character by its first reading followed
// by a space, everything else folded as a search folds it.
QString pinyinSortKey(QStringView text);
// The same key appended as bytes that compare (as unsigned bytes) the way the keys do.
void appendPinyinSortBytes(QStringView text, std::string& out);
// The same from a text's UTF-8 bytes, without decoding it first; false, and nothing appended,
// when the bytes are not UTF-8.
bool appendPinyinSortBytesOfUtf8(QByteArrayView utf8, std::string& out);

} // namespace qb
