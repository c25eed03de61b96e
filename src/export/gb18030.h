#pragma once

#include <QByteArray>
#include <QStringConverter>
#include <QStringView>
#include <QVarLengthArray>

#include <memory>

namespace qb {

// Converts text to GB18030, the encoding of every file the program writes: byte-identical to
// GBK (code page 936) for every character GBK has, and nothing is lost for the rest.
//
// Exports convert hundreds of megabytes of the database's UTF-8, so that path works on raw
// bytes: ASCII is copied, other characters of the Basic Multilingual Plane go through a
// table built once from the system's converter, and only values with other characters or
// malformed bytes take the converter itself.
class Gb18030Encoder {
public:
    Gb18030Encoder(); // throws DataError when the system has no GB18030 converter
    ~Gb18030Encoder();

    // The most bytes appendUtf8 writes for this many input bytes.
    static constexpr qsizetype maxEncodedSize(qsizetype utf8Length) { return 4 * utf8Length; }
    // Writes the GB18030 form of the UTF-8 bytes at out; returns the end of what it wrote.
    char* appendUtf8(char* out, const char* utf8, qsizetype length);

    void append(QByteArray& out, QStringView text);
    QByteArray encode(QStringView text);

private:
    struct Entry {
        quint8 length;
        char bytes[4];
    };
    void buildTable();
    char* appendThroughConverter(char* out, const char* utf8, qsizetype length);

    QStringEncoder m_encoder;
    QStringDecoder m_utf8;
    QVarLengthArray<QChar, 1024> m_utf16; // reused so a value costs no allocation
    std::unique_ptr<Entry[]> m_table;     // GB18030 of every BMP character from U+0080
};

} // namespace qb
