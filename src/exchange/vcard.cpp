#include "vcard.h"

#include <QIODevice>
#include <QStringDecoder>
#include <QUuid>

#include <algorithm>
#include <cstring>

namespace qb {

namespace {

constexpr qsizetype kFoldOctets = 75;
// The URL namespace of RFC 4122, for name-based contact UIDs.
const char kUidNamespace[] = "6ba7b811-9dad-11d1-80b4-00c04fd430c8";
// A logical line (a property with all its folded lines) may hold an inline photo of a few
// megabytes; anything longer is not a contact card.
constexpr qsizetype kMaxLineBytes = 8 * 1024 * 1024;

// One property of the mapping: how it is written and which columns its components hold
// (nullptr: a component the book has no column for). keyType tells the reader which of
// several properties of one name a card's property is meant for; those are listed together.
struct PropertyMap {
    QByteArrayView name;
    const char* params;
    const char* keyType;
    const char* prefix; // written before the value (IMPP's URI scheme)
    std::vector<const char*> columns;
};

const std::vector<PropertyMap>& propertyMaps() {
    static const std::vector<PropertyMap> maps = {
        {"FN", "", "", "", {"姓名"}},
        {"N", "", "", "", {"姓名", nullptr, nullptr, nullptr, nullptr}},
        {"EMAIL", ";TYPE=INTERNET,HOME", "HOME", "", {"邮箱"}},
        {"EMAIL", ";TYPE=INTERNET,WORK", "WORK", "", {"公司邮箱"}},
        {"X-QQ", "", "", "", {"QQ"}},
        {"IMPP", "", "", "qq:", {"QQ"}},
        {"URL", ";TYPE=HOME", "HOME", "", {"主页"}},
        {"URL", ";TYPE=WORK", "WORK", "", {"公司主页"}},
        {"BDAY", "", "", "", {"生日"}},
        {"X-GENDER", "", "", "", {"性别"}},
        {"TEL", ";TYPE=CELL", "CELL", "", {"手机"}},
        {"TEL", ";TYPE=HOME,FAX", "FAX", "", {"传真"}},
        {"TEL", ";TYPE=WORK,VOICE", "WORK", "", {"公司电话"}},
        {"TEL", ";TYPE=HOME,VOICE", "HOME", "", {"电话"}},
        {"X-QUILLBOX-ID-CARD", "", "", "", {"身份证"}},
        {"X-QUILLBOX-SPECIALITY", "", "", "", {"特长"}},
        {"ADR",
         ";TYPE=HOME",
         "HOME",
         "",
         {nullptr, nullptr, "家庭地址", "市", "省", "邮编", "国家"}},
        {"ADR",
         ";TYPE=WORK",
         "WORK",
         "",
         {nullptr, nullptr, "公司地址", "公司城市", nullptr, nullptr, nullptr}},
        {"ORG", "", "", "", {"单位", "部门"}},
        {"TITLE", "", "", "", {"职务"}},
        {"NOTE", "", "", "", {"备注"}},
    };
    return maps;
}

// The positions in propertyMaps() of one property name.
struct NamedMaps {
    QByteArrayView name;
    std::vector<size_t> positions;
};

const std::vector<NamedMaps>& mapsByName() {
    static const std::vector<NamedMaps> byName = [] {
        std::vector<NamedMaps> named;
        for (size_t m = 0; m < propertyMaps().size(); ++m) {
            if (named.empty() || named.back().name != propertyMaps()[m].name)
                named.push_back({propertyMaps()[m].name, {}});
            named.back().positions.push_back(m);
        }
        return named;
    }();
    return byName;
}

// The mapping's properties of this name, nullptr for none. Length and first byte tell the
// names apart, one memcmp makes sure: cheaper than hashing every name of a card.
const std::vector<size_t>* mapsNamed(QByteArrayView name) {
    for (const NamedMaps& named : mapsByName())
        if (named.name.size() == name.size() && named.name[0] == name[0] &&
            std::memcmp(named.name.data(), name.data(), size_t(name.size())) == 0)
            return &named.positions;
    return nullptr;
}

// Each property's columns as positions in the book's columns (-1: none), looked up once.
std::vector<std::vector<int>> mapColumns(const QStringList& columnNames) {
    std::vector<std::vector<int>> positions;
    for (const PropertyMap& map : propertyMaps()) {
        positions.emplace_back();
        for (const char* column : map.columns)
            positions.back().push_back(column ? int(columnNames.indexOf(QString::fromUtf8(column)))
                                              : -1);
    }
    return positions;
}

// Where `c` first occurs at or after `from`, -1 when nowhere: memchr, without the overhead of
// a general search, as lines are searched a few times each.
qsizetype find(QByteArrayView text, char c, qsizetype from = 0) {
    if (from >= text.size())
        return -1;
    const void* at = std::memchr(text.data() + from, c, size_t(text.size() - from));
    return at ? static_cast<const char*>(at) - text.data() : -1;
}

QByteArrayView field(const Utf8Record& record, int column) {
    return column < 0 ? QByteArrayView() : record[size_t(column)];
}

void appendEscaped(QByteArrayView value, QByteArray& out) {
    for (qsizetype i = 0; i < value.size(); ++i) {
        const char c = value[i];
        switch (c) {
        case '\\':
            out.append("\\\\");
            break;
        case ',':
            out.append("\\,");
            break;
        case ';':
            out.append("\\;");
            break;
        case '\r':
            if (i + 1 < value.size() && value[i + 1] == '\n')
                ++i; // CR LF is one line break
            out.append("\\n");
            break;
        case '\n':
            out.append("\\n");
            break;
        default:
            out.append(c);
        }
    }
}

// Folds at 75 octets; a continuation line starts with a blank, which counts. A cut never
// falls inside a UTF-8 character.
void appendFolded(QByteArrayView line, QByteArray& out) {
    qsizetype pos = 0;
    qsizetype limit = kFoldOctets;
    while (line.size() - pos > limit) {
        qsizetype cut = pos + limit;
        while ((static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80)
            --cut;
        out.append(line.sliced(pos, cut - pos));
        out.append("\r\n ");
        pos = cut;
        limit = kFoldOctets - 1;
    }
    out.append(line.sliced(pos));
    out.append("\r\n");
}

// Stored "YYYY-MM-DD HH:MM:SS" as vCard's "YYYY-MM-DDTHH:MM:SS"; a plain date stays.
QByteArray vcardDate(QByteArrayView stored) {
    QByteArray date = stored.toByteArray();
    return date.replace(' ', 'T');
}

// A vCard date (basic or extended form, with or without a time) as stored text; empty when
// it has no year or does not read as a date.
QString storedDate(const QString& value) {
    QString text = value.trimmed();
    text.remove(QLatin1Char('-')).remove(QLatin1Char(':'));
    if (text.endsWith(QLatin1Char('Z')))
        text.chop(1);
    const QString date = text.left(8);
    if (date.size() != 8 || !date.front().isDigit())
        return {};
    QString stored =
        date.left(4) + QLatin1Char('-') + date.mid(4, 2) + QLatin1Char('-') + date.mid(6, 2);
    const qsizetype t = text.indexOf(QLatin1Char('T'));
    if (t == 8 && text.size() >= 15)
        stored += QLatin1Char(' ') + text.mid(9, 2) + QLatin1Char(':') + text.mid(11, 2) +
                  QLatin1Char(':') + text.mid(13, 2);
    return stored;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

QByteArray decodeQuotedPrintable(QByteArrayView value) {
    QByteArray bytes;
    bytes.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] == '=' && i + 2 < value.size()) {
            const int high = hexDigit(value[i + 1]);
            const int low = hexDigit(value[i + 2]);
            if (high >= 0 && low >= 0) {
                bytes.append(char(high * 16 + low));
                i += 2;
                continue;
            }
        }
        bytes.append(value[i]);
    }
    return bytes;
}

// Undoes the escapes and splits the structured value at the unescaped semicolons, into
// parts that keep their room from value to value; returns how many parts there are. UTF-8
// never has a backslash or a semicolon inside a character, so the bytes are split as they are.
size_t components(QByteArrayView value, bool structured, std::vector<QByteArray>& parts) {
    size_t count = 1;
    const auto part = [&parts](size_t n) -> QByteArray& {
        if (parts.size() < n)
            parts.resize(n);
        return parts[n - 1];
    };
    // The next backslash or (structured) semicolon at or after `from`, found with memchr.
    const auto special = [&value, structured](qsizetype from) {
        const qsizetype escape = find(value, '\\', from);
        const qsizetype semicolon =
            structured ? find(value.first(escape < 0 ? value.size() : escape), ';', from) : -1;
        return semicolon >= 0 ? semicolon : escape;
    };
    part(count).resize(0);
    qsizetype plain = 0; // where the text not yet copied starts
    for (qsizetype i = special(0); i >= 0; i = special(i + 1)) {
        const bool escape = value[i] == '\\' && i + 1 < value.size();
        if (!escape && value[i] != ';')
            continue; // a backslash that ends the value stays
        part(count).append(value.sliced(plain, i - plain));
        if (escape) {
            const char e = value[++i];
            part(count).append((e == 'n' || e == 'N') ? '\n' : e);
        } else {
            part(++count).resize(0);
        }
        plain = i + 1;
    }
    part(count).append(value.sliced(plain));
    return count;
}

QString asText(QByteArrayView utf8) {
    return QString::fromUtf8(utf8);
}

char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? char(c | 0x20) : c;
}

// The words compared with are ASCII, so ASCII case is all there is to ignore.
bool sameWord(QByteArrayView a, QByteArrayView b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return asciiLower(x) == asciiLower(y); });
}

bool isQuotedPrintable(QByteArrayView line) {
    const qsizetype colon = find(line, ':');
    const QByteArray head = line.first(colon < 0 ? line.size() : colon).toByteArray();
    return head.toUpper().contains("QUOTED-PRINTABLE");
}

} // namespace

// Views into the line being read, which stays until the property is applied; the names
// and values of parameters are compared ignoring case.
struct VCardReader::Property {
    QByteArray name;                   // upper case, without its group
    std::vector<QByteArrayView> types; // from TYPE= and from 2.1's bare parameters
    QByteArrayView parameters;         // after the name, before the colon
    QByteArrayView encoding;
    QByteArrayView charset;
    QByteArrayView value;
    const std::vector<size_t>* candidates = nullptr; // the mapping's properties of this name

    // Compared as views: their size first, unlike a QByteArray with a C string.
    bool is(QByteArrayView word) const { return QByteArrayView(name) == word; }
    bool hasType(const char* type) const {
        return std::any_of(types.begin(), types.end(),
                           [type](QByteArrayView t) { return sameWord(t, type); });
    }
};

VCardWriter::VCardWriter(const QStringList& columnNames)
    : m_mapColumns(mapColumns(columnNames))
    , m_nameColumn(int(columnNames.indexOf(QStringLiteral("姓名")))) {}

void VCardWriter::writeRecord(const Utf8Record& record, QByteArray& out) {
    out.append("BEGIN:VCARD\r\nVERSION:3.0\r\n");
    const std::vector<PropertyMap>& maps = propertyMaps();
    for (size_t m = 0; m < maps.size(); ++m) {
        const PropertyMap& map = maps[m];
        const std::vector<int>& columns = m_mapColumns[m];
        bool any = false;
        for (const int column : columns)
            any = any || !field(record, column).isEmpty();
        if (!any && map.name != "FN" && map.name != "N")
            continue; // FN and N are required, every other property only when it has a value
        m_line.clear();
        m_line.append(map.name).append(map.params).append(':').append(map.prefix);
        for (size_t c = 0; c < columns.size(); ++c) {
            if (c > 0)
                m_line.append(';');
            const QByteArrayView text = field(record, columns[c]);
            if (map.name == "BDAY")
                m_line.append(vcardDate(text));
            else
                appendEscaped(text, m_line);
        }
        appendFolded(m_line, out);
    }
    // Address books that keep one file per contact need a UID; one made from the name stays
    // the same on every export, so a second export updates those contacts instead of doubling.
    static const QUuid kNamespace = QUuid::fromString(kUidNamespace);
    const QUuid uid = QUuid::createUuidV5(
        kNamespace, QByteArray("quillbox:contact:").append(field(record, m_nameColumn)));
    out.append("UID:urn:uuid:").append(uid.toByteArray(QUuid::WithoutBraces)).append("\r\n");
    out.append("END:VCARD\r\n");
}

VCardReader::VCardReader(QIODevice& device, const QStringList& columnNames)
    : m_lines(device, kMaxLineBytes)
    , m_columnNames(columnNames)
    , m_mapColumns(mapColumns(columnNames))
    , m_property(std::make_unique<Property>())
    , m_nameColumn(int(columnNames.indexOf(QStringLiteral("姓名"))))
    , m_sexColumn(int(columnNames.indexOf(QStringLiteral("性别"))))
    , m_birthdayColumn(int(columnNames.indexOf(QStringLiteral("生日")))) {}

VCardReader::~VCardReader() = default;

// A property with its folded lines joined: lines that start with a blank continue the one
// before, and so does the line after a quoted-printable line ending in "=". A property on one
// line, as nearly all are, stays a view of the read buffer; only folded ones are copied.
bool VCardReader::nextLogicalLine(QByteArrayView& logical) {
    if (!m_lines.next(logical))
        return false;
    if (!continues(logical))
        return true;
    QByteArray& line = m_line;
    setBytes(line, logical);
    QByteArrayView next;
    for (;;) {
        const bool softBreak = line.endsWith('=') && isQuotedPrintable(line);
        m_lines.next(next);
        if (softBreak) {
            line.chop(1);
            line += next;
        } else {
            line += QByteArrayView(next).sliced(1);
        }
        if (line.size() > kMaxLineBytes)
            failAtLine(m_lines.lineNumber(),
                       QStringLiteral("这一行太长（超过 %1 字节）").arg(kMaxLineBytes));
        if (!continues(line))
            break;
    }
    logical = line;
    return true;
}

// Whether the next line belongs to this one.
bool VCardReader::continues(QByteArrayView line) const {
    if (!m_lines.hasNext())
        return false;
    const char next = m_lines.peek();
    return next == ' ' || next == '\t' || (line.endsWith('=') && isQuotedPrintable(line));
}

namespace {

QByteArrayView parameterValue(QByteArrayView value) {
    if (value.size() >= 2 && value.startsWith('"') && value.endsWith('"'))
        return value.sliced(1, value.size() - 2);
    return value;
}

// The text up to the first `separator` (all of it when there is none); `rest` keeps what
// follows the separator.
QByteArrayView takeUntil(char separator, QByteArrayView& rest) {
    const qsizetype at = find(rest, separator);
    const QByteArrayView taken = at < 0 ? rest : rest.first(at);
    rest = at < 0 ? QByteArrayView() : rest.sliced(at + 1);
    return taken;
}

} // namespace

bool VCardReader::next(Utf8Values& values) {
    QByteArrayView line;
    for (;;) {
        if (!nextLogicalLine(line))
            return false;
        const QByteArrayView trimmed = line.trimmed();
        if (trimmed.isEmpty())
            continue;
        if (sameWord(trimmed, "BEGIN:VCARD"))
            break;
        failAtLine(m_lines.lineNumber(),
                   QStringLiteral("这里应当是一张名片的开始（BEGIN:VCARD），文件不是 vCard"));
    }
    m_cardLine = m_lines.lineNumber();
    clearValues(values, m_columnNames.size());
    int nested = 0; // cards inside a card (2.1's AGENT) are skipped
    for (;;) {
        if (!nextLogicalLine(line))
            failAtLine(m_cardLine, QStringLiteral("名片没有结束（缺少 END:VCARD），文件不完整"));
        if (!readProperty(line))
            continue; // not a property: nothing a contact could use
        const Property& property = *m_property;
        const bool isCard = (property.is("BEGIN") || property.is("END")) &&
                            sameWord(property.value.trimmed(), "VCARD");
        if (isCard && property.is("BEGIN")) {
            ++nested;
        } else if (isCard) {
            if (nested-- == 0)
                return true;
        } else if (nested == 0 && isWanted(*m_property)) {
            readParameters();
            apply(property, values);
        }
    }
}

// The name and value of a "group.NAME;PARAMETERS:value" line; false when it has no colon.
// Its parameters are read only for a property the book keeps.
bool VCardReader::readProperty(QByteArrayView line) {
    const qsizetype colon = find(line, ':');
    if (colon < 0)
        return false;
    QByteArrayView head = line.first(colon);
    const QByteArrayView name = takeUntil(';', head);
    const auto dot = std::find(name.rbegin(), name.rend(), '.'); // the group ends at the last
    const QByteArrayView bare = name.sliced(name.rend() - dot).trimmed();
    // Names are nearly always written in upper case: then the line's bytes serve as they are.
    Property& property = *m_property;
    property.name = QByteArray::fromRawData(bare.data(), bare.size());
    if (std::any_of(bare.begin(), bare.end(), [](char c) { return c >= 'a' && c <= 'z'; }))
        property.name = property.name.toUpper();
    property.parameters = head;
    property.value = line.sliced(colon + 1);
    return true;
}

void VCardReader::readParameters() {
    Property& property = *m_property;
    property.types.clear();
    property.encoding = property.charset = QByteArrayView();
    QByteArrayView head = property.parameters;
    while (!head.isEmpty()) {
        const QByteArrayView parameter = takeUntil(';', head);
        const qsizetype eq = find(parameter, '=');
        const QByteArrayView key = eq < 0 ? QByteArrayView("TYPE") : parameter.first(eq).trimmed();
        QByteArrayView val = parameterValue(eq < 0 ? parameter : parameter.sliced(eq + 1));
        if (eq < 0 && (sameWord(val, "QUOTED-PRINTABLE") || sameWord(val, "BASE64"))) {
            property.encoding = val;
        } else if (sameWord(key, "TYPE")) {
            while (!val.isEmpty())
                property.types.push_back(takeUntil(',', val));
        } else if (sameWord(key, "ENCODING")) {
            property.encoding = val;
        } else if (sameWord(key, "CHARSET")) {
            property.charset = val;
        }
    }
}

// Whether the book has a place for the property; the mapping's candidates for its name are
// kept for apply().
bool VCardReader::isWanted(Property& property) {
    property.candidates = mapsNamed(property.name);
    return property.candidates || property.is("GENDER");
}

void VCardReader::apply(const Property& property, Utf8Values& values) {
    if (sameWord(property.encoding, "B") || sameWord(property.encoding, "BASE64"))
        return; // photos, logos, sounds and keys have no place in the book
    const std::vector<PropertyMap>& maps = propertyMaps();
    std::vector<QByteArray>& parts = m_parts;
    const auto put = [&values](int column, QByteArrayView value) {
        if (column >= 0)
            setBytes(values[size_t(column)], value);
    };
    if (property.is("GENDER")) { // vCard 4.0: a sex letter, then free text
        const size_t count = components(decodedUtf8(property), true, parts);
        const QString sex = asText(parts[0]).trimmed().toUpper();
        put(m_sexColumn, sex == QLatin1String("M")   ? QByteArrayView("男")
                         : sex == QLatin1String("F") ? QByteArrayView("女")
                         : count > 1                 ? QByteArrayView(parts[1])
                                                     : QByteArrayView());
        return;
    }
    // The property of this name that the card's types mean, if its columns are still free;
    // a property whose types mean none of them takes the first free one.
    int chosen = -1;
    int firstFree = -1;
    bool typed = false;
    for (const size_t m : *property.candidates) {
        const std::vector<int>& columns = m_mapColumns[m];
        const bool free = std::all_of(columns.begin(), columns.end(), [&](int column) {
            return column < 0 || values[size_t(column)].isEmpty();
        });
        const bool meant = *maps[m].keyType && property.hasType(maps[m].keyType);
        typed = typed || meant;
        if (free && meant && chosen < 0)
            chosen = int(m);
        if (free && firstFree < 0)
            firstFree = int(m);
    }
    if (chosen < 0 && !typed)
        chosen = firstFree;
    // FN names the contact even when N came first and filled the name.
    if (chosen < 0 && property.is("FN"))
        chosen = 0;
    if (chosen < 0)
        return; // not decoded: a card's N after its FN, or IMPP after X-QQ, is common
    const PropertyMap& map = maps[size_t(chosen)];
    QByteArrayView value = decodedUtf8(property);
    if (*map.prefix) {
        const qsizetype length = qstrlen(map.prefix);
        if (value.size() < length || !sameWord(value.first(length), map.prefix))
            return;
        value = value.sliced(length);
    } else if (property.is("TEL") && value.startsWith("tel:")) {
        value = value.sliced(4);
    }
    if (property.is("BDAY")) {
        put(m_birthdayColumn, isIsoDate(value) ? value : storedDate(asText(value)).toUtf8());
        return;
    }
    const std::vector<int>& columns = m_mapColumns[size_t(chosen)];
    if (columns.size() == 1 && find(value, '\\') < 0) { // nearly all: nothing to undo
        put(columns[0], value);
        return;
    }
    const size_t count = components(value, columns.size() > 1, parts);
    if (property.is("N")) { // family and given name, written together as Chinese names are
        const QString given = count > 1 ? asText(parts[1]) : QString();
        put(m_nameColumn, (asText(parts[0]) + given).trimmed().toUtf8());
        return;
    }
    for (size_t c = 0; c < columns.size(); ++c)
        put(columns[c], c < count ? QByteArrayView(parts[c]) : QByteArrayView());
}

// The value as UTF-8: a view of the line when it is written so, else decoded into a buffer.
QByteArrayView VCardReader::decodedUtf8(const Property& property) {
    QByteArrayView bytes = property.value;
    if (sameWord(property.encoding, "QUOTED-PRINTABLE")) {
        m_decoded = decodeQuotedPrintable(property.value);
        bytes = m_decoded;
    }
    if (property.charset.isEmpty() || sameWord(property.charset, "UTF-8")) {
        if (!bytes.isValidUtf8())
            failAtLine(m_cardLine,
                       QStringLiteral("名片的文字不是 UTF-8 编码（用 UTF-8 另存后再导入）"));
        return bytes;
    }
    const QByteArray charset = property.charset.toByteArray().toUpper();
    QStringDecoder decoder(charset.constData());
    if (!decoder.isValid())
        failAtLine(m_cardLine,
                   QStringLiteral("名片用了不认识的字符集 %1").arg(QString::fromLatin1(charset)));
    const QString text = decoder.decode(bytes);
    if (decoder.hasError())
        failAtLine(m_cardLine,
                   QStringLiteral("名片的文字不是 %1 编码").arg(QString::fromLatin1(charset)));
    m_decoded = text.toUtf8();
    return m_decoded;
}

} // namespace qb
