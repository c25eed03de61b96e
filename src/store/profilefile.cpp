#include "profilefile.h"

#include "dataerror.h"
#include "gb18030length.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>
#include <algorithm>
#include <cctype>

namespace qb {

namespace {

constexpr const char* kEncoding = "GB18030";

bool isAscii(QByteArrayView bytes) {
    return std::all_of(bytes.begin(), bytes.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

QString decode(QByteArrayView bytes) {
    // Names and numbers are nearly always ASCII, which GB18030 keeps as it is; skipping the
    // converter for them keeps big files fast.
    if (isAscii(bytes))
        return QString::fromLatin1(bytes);
    QStringDecoder decoder(kEncoding);
    return decoder.decode(bytes);
}

QByteArray encode(QStringView text) {
    if (std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; }))
        return text.toLatin1();
    QStringEncoder encoder(kEncoding);
    return encoder.encode(text);
}

QString foldedName(const QString& name) {
    return name.trimmed().toCaseFolded();
}

// One line of the file. Blanks, '=' and quotes never occur inside a GB18030 multi-byte
// character, so searching the bytes for them is exact; ']' can, so headers are decoded first.
struct LineParts {
    enum class Kind { Other, Section, Key };
    Kind kind = Kind::Other;
    QString name;         // section or key name without surrounding blanks
    QByteArrayView value; // key lines: the bytes after '=' without surrounding blanks
};

LineParts parseHeader(QByteArrayView text) {
    const QString line = decode(text);
    const qsizetype close = line.lastIndexOf(u']');
    if (close < 1)
        return {};
    return {LineParts::Kind::Section, line.sliced(1, close - 1).trimmed(), {}};
}

LineParts parseLine(QByteArrayView line) {
    const QByteArrayView text = line.trimmed();
    if (text.startsWith('['))
        return parseHeader(text);
    const qsizetype equals = text.indexOf('=');
    if (equals <= 0)
        return {};
    return {LineParts::Kind::Key, decode(text.first(equals).trimmed()),
            text.sliced(equals + 1).trimmed()};
}

QByteArrayView withoutQuotes(QByteArrayView value) {
    const bool quoted = value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                        value.back() == value.front();
    return quoted ? value.sliced(1, value.size() - 2) : value;
}

QByteArrayView cutToWholeCharacters(QByteArrayView bytes, qsizetype maxBytes) {
    if (bytes.size() <= maxBytes)
        return bytes;
    qsizetype end = 0;
    for (qsizetype next = gb18030CharacterLength(bytes); next <= maxBytes;
         next = end + gb18030CharacterLength(bytes.sliced(end)))
        end = next;
    return bytes.first(end);
}

bool isHexDigits(QStringView text) {
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), [](QChar c) {
        return c.unicode() < 0x80 && std::isxdigit(static_cast<unsigned char>(c.unicode()));
    });
}

// The Windows functions keep the first section and the first key of a name.
void insertFirst(QHash<QString, qsizetype>& index, const QString& name, qsizetype position) {
    if (!index.contains(name))
        index.insert(name, position);
}

QByteArray withoutLineBreaks(const QString& value) {
    QString line = value;
    line.replace(u'\r', u' ').replace(u'\n', u' ');
    return encode(line);
}

} // namespace

ProfileFile::ProfileFile(const QString& fileName)
    : m_fileName(fileName) {
    load();
}

void ProfileFile::load() {
    // Opening a pipe would wait for a writer for ever, and a device (a link to /dev/zero)
    // never ends: only a regular file of a size a profile can have is read.
    const QFileInfo info(m_fileName);
    if (!info.exists())
        return;
    const QString name = QDir::toNativeSeparators(m_fileName);
    if (!info.isFile())
        throw DataError(QStringLiteral("首选项文件“%1”不是普通文件，没有读取").arg(name));
    if (info.size() > kMaxFileBytes)
        throw DataError(QStringLiteral("首选项文件“%1”太大（超过 %2 MB），没有读取")
                            .arg(name)
                            .arg(kMaxFileBytes / (1024 * 1024)));
    QFile file(m_fileName);
    if (!file.open(QIODevice::ReadOnly))
        return;
    QList<QByteArray> lines = file.readAll().split('\n');
    if (lines.back().isEmpty()) // the end of the last line, or an empty file
        lines.removeLast();
    for (QByteArray& line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
        addLine(std::move(line));
    }
}

void ProfileFile::addLine(QByteArray line) {
    const LineParts parts = parseLine(line);
    if (parts.kind == LineParts::Kind::Section) {
        appendSection(parts.name, std::move(line));
    } else if (m_sections.empty()) {
        m_leadingLines.push_back(std::move(line));
    } else {
        Section& section = m_sections.back();
        if (parts.kind == LineParts::Kind::Key)
            insertFirst(section.keys, foldedName(parts.name), section.lines.size());
        section.lines.push_back(std::move(line));
    }
}

ProfileFile::Section& ProfileFile::appendSection(const QString& name, QByteArray header) {
    insertFirst(m_sectionIndex, foldedName(name), m_sections.size());
    m_sections.push_back(Section{std::move(header), {}, {}});
    return m_sections.back();
}

const ProfileFile::Section* ProfileFile::findSection(const QString& name) const {
    const auto found = m_sectionIndex.constFind(foldedName(name));
    return found == m_sectionIndex.cend() ? nullptr : &m_sections[*found];
}

QString ProfileFile::readString(const QString& section, const QString& key,
                                const QString& defaultValue) const {
    const Section* found = findSection(section);
    if (!found)
        return defaultValue;
    const auto line = found->keys.constFind(foldedName(key));
    if (line == found->keys.cend())
        return defaultValue;
    const LineParts parts = parseLine(found->lines[*line]);
    return decode(cutToWholeCharacters(withoutQuotes(parts.value), kMaxValueBytes));
}

int ProfileFile::readInt(const QString& section, const QString& key, int defaultValue) const {
    const QString text = readString(section, key, QString());
    bool ok = false;
    int value = 0;
    // toInt alone would also take a sign, blanks or a second "0x" after the first one.
    if (text.size() > 2 && text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        const QStringView digits = QStringView(text).sliced(2);
        if (isHexDigits(digits))
            value = digits.toInt(&ok, 16);
    } else {
        value = text.toInt(&ok, 10);
    }
    return ok ? value : defaultValue;
}

QStringList ProfileFile::sectionKeys(const QString& section) const {
    QStringList keys;
    const Section* found = findSection(section);
    if (!found)
        return keys;
    for (const QByteArray& line : found->lines) {
        LineParts parts = parseLine(line);
        if (parts.kind == LineParts::Kind::Key)
            keys.append(std::move(parts.name));
    }
    return keys;
}

void ProfileFile::writeString(const QString& section, const QString& key, const QString& value) {
    Section& target = sectionForWriting(section);
    const QByteArray encodedValue = withoutLineBreaks(value);
    const QString name = foldedName(key);
    const auto found = target.keys.constFind(name);
    if (found != target.keys.cend()) {
        QByteArray& line = target.lines[*found];
        line = line.first(line.indexOf('=') + 1) + encodedValue;
        return;
    }
    target.keys.insert(name, target.lines.size());
    target.lines.push_back(encode(key.trimmed()) + '=' + encodedValue);
}

ProfileFile::Section& ProfileFile::sectionForWriting(const QString& name) {
    const auto found = m_sectionIndex.constFind(foldedName(name));
    if (found != m_sectionIndex.cend())
        return m_sections[*found];
    return appendSection(name, encode(u'[' + name.trimmed() + u']'));
}

void ProfileFile::save() const {
    QByteArray bytes;
    const auto appendLine = [&bytes](const QByteArray& line) {
        bytes += line;
        bytes += "\r\n";
    };
    std::for_each(m_leadingLines.begin(), m_leadingLines.end(), appendLine);
    for (const Section& section : m_sections) {
        appendLine(section.header);
        std::for_each(section.lines.begin(), section.lines.end(), appendLine);
    }
    // Unbuffered: QSaveFile misses a failure of its own last buffer flush (a full disk) and
    // would then put an empty file in place of the good one.
    QSaveFile file(m_fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) ||
        file.write(bytes) != bytes.size() || !file.commit())
        throw DataError(
            QStringLiteral("Unable to write to %1").arg(QDir::toNativeSeparators(m_fileName)));
}

} // namespace qb
