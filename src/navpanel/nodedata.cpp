#include "nodedata.h"

#include "store/bookdataset.h"
#include "store/gb18030length.h"
#include "store/valuetext.h"

#include <QStringEncoder>

namespace qb {

namespace {

// Node records keep what a 255-byte string of the system code page holds.
constexpr int kNodeValueBytes = 255;
// GB18030 spends at most four bytes on one UTF-16 unit.
constexpr int kMaxBytesPerUnit = 4;

// Columns by position in table order: 姓名, 邮箱, QQ, 主页 ... and 网址名称, 网址 ...
constexpr int kContactName = 0;
constexpr int kContactEmail = 1;
constexpr int kContactHomePage = 3;
constexpr int kWebsiteName = 0;
constexpr int kWebsiteAddress = 1;

// One code point of the text: a surrogate pair counts as one, as the encoder sees it.
qsizetype codePointLength(const QString& text, qsizetype at) {
    return text[at].isHighSurrogate() && at + 1 < text.size() && text[at + 1].isLowSurrogate() ? 2
                                                                                               : 1;
}

} // namespace

QString cutToAnsiBytes(const QString& text, int maxBytes) {
    if (text.size() * kMaxBytesPerUnit <= maxBytes)
        return text;
    QStringEncoder encoder("GB18030");
    const QByteArray bytes = encoder.encode(text);
    if (bytes.size() <= maxBytes)
        return text;
    // The encoder writes one character per code point, so walking both side by side finds the
    // last whole character that fits.
    qsizetype byte = 0;
    qsizetype unit = 0;
    while (unit < text.size()) {
        const qsizetype length = gb18030CharacterLength(QByteArrayView(bytes).sliced(byte));
        if (byte + length > maxBytes)
            break;
        byte += length;
        unit += codePointLength(text, unit);
    }
    return text.left(unit);
}

QString nodeValue(const QString& valueText) {
    return cutToAnsiBytes(trimmedValue(valueText), kNodeValueBytes);
}

ContactNodeData ContactNodeData::fromRow(const BookDataset& contacts, const SqliteStatement& row) {
    return {nodeValue(contacts.storedValueText(row, kContactName)),
            nodeValue(contacts.storedValueText(row, kContactHomePage)),
            nodeValue(contacts.storedValueText(row, kContactEmail))};
}

WebsiteEntry WebsiteEntry::fromRow(const BookDataset& websites, const SqliteStatement& row) {
    return {trimmedValue(websites.storedValueText(row, kWebsiteName)),
            trimmedValue(websites.storedValueText(row, kWebsiteAddress))};
}

WebsiteNodeData WebsiteNodeData::fromEntry(const WebsiteEntry& website) {
    return {cutToAnsiBytes(website.name, kNodeValueBytes),
            cutToAnsiBytes(website.address, kNodeValueBytes)};
}

} // namespace qb
