#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <vector>

namespace qb {

// A Windows profile (ini) file: "[section]" lines and "key=value" lines, names matched without
// regard to letter case, text in GB18030 (identical to GBK for every character GBK has).
// The whole file is held in memory; writes change the copy and save() replaces the file.
// Lines the format does not know are ignored when reading and kept byte for byte when saving.
// As with the Windows functions, only the first section of a name and the first key of a name
// within it count.
class ProfileFile {
public:
    // Loads the file; a missing or unreadable file gives an empty profile. Throws DataError
    // for a name that is not a regular file (a pipe, a device) or a file over kMaxFileBytes.
    explicit ProfileFile(const QString& fileName);

    const QString& fileName() const { return m_fileName; }

    // The value without surrounding blanks and one pair of enclosing quotes, cut to at most
    // kMaxValueBytes bytes without splitting a character; the default when the key is missing.
    QString readString(const QString& section, const QString& key,
                       const QString& defaultValue) const;
    // Decimal, or hexadecimal after "0x"; the default when missing or not a number.
    int readInt(const QString& section, const QString& key, int defaultValue) const;
    // The names of the section's key lines, in file order.
    QStringList sectionKeys(const QString& section) const;

    // Replaces the key's value, or adds the key at the end of its section, or the section
    // at the end of the file. Line breaks in the value become blanks: a value is one line.
    void writeString(const QString& section, const QString& key, const QString& value);
    // Writes the whole file atomically with CR LF line ends; throws DataError on failure.
    void save() const;

    // The read buffer of the profile-file functions is 2048 bytes, terminating zero included.
    static constexpr qsizetype kMaxValueBytes = 2047;
    // Far beyond a profile with the longest search histories anyone keeps (100,000 entries
    // take about 2 MB); small enough to read at once.
    static constexpr qint64 kMaxFileBytes = 64 * 1024 * 1024;

private:
    struct Section {
        QByteArray header;              // the "[name]" line as in the file
        std::vector<QByteArray> lines;  // every line up to the next header, as in the file
        QHash<QString, qsizetype> keys; // folded key name -> index in lines of its first line
    };

    void load();
    void addLine(QByteArray line);
    Section& appendSection(const QString& name, QByteArray header);
    const Section* findSection(const QString& name) const;
    Section& sectionForWriting(const QString& name);

    QString m_fileName;
    std::vector<QByteArray> m_leadingLines;   // lines before the first section
    std::vector<Section> m_sections;          // in file order, repeated names included
    QHash<QString, qsizetype> m_sectionIndex; // folded name -> first section of that name
};

} // namespace qb
