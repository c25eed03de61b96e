#pragma once

#include <QString>

namespace qb {

class BookDataset;
class SqliteStatement;

// At most maxBytes bytes in the system code page (GB18030 here), cut between characters only.
QString cutToAnsiBytes(const QString& text, int maxBytes);
// A trimmed value cut to the 255 bytes a node record keeps.
QString nodeValue(const QString& valueText);

// The record each contact node carries: what the popup items of "简单联系" act on.
struct ContactNodeData {
    QString name;
    QString homePage;
    QString email;

    static ContactNodeData fromRow(const BookDataset& contacts, const SqliteStatement& row);
};

// A website as read for the panel: name and address trimmed, but not cut. The menu
// "网址导航" offers these values as they are.
struct WebsiteEntry {
    QString name;
    QString address;

    static WebsiteEntry fromRow(const BookDataset& websites, const SqliteStatement& row);
};

// The record each website node carries: what the popup item of "网址避长" acts on.
struct WebsiteNodeData {
    QString name;
    QString address;

    static WebsiteNodeData fromEntry(const WebsiteEntry& website);
};

} // namespace qb
