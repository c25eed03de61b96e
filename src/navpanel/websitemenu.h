#pragma once

#include "nodedata.h"

#include <QIcon>
#include <QObject>
#include <functional>
#include <vector>

class QAction;
class QMenu;

namespace qb {

// The "网址导航" menu over a snapshot of the websites book, one item per website in table
// order, the website's address as the item's hint (status tip).
//
// A QMenu lays out every item before it shows, and a book may hold 100,000 websites, so:
// items are made only when their menu is about to show, and no menu holds more than maxItems
// entries. A longer book is split by position into nested sub-menus, balanced so that every
// level has about the same number of entries (100,000 websites at 50: three levels of at most
// 47). A book that fits in one menu shows its items directly.
class WebsiteMenu : public QObject {
public:
    static constexpr int kDefaultMaxItems = 50;

    WebsiteMenu(QMenu* menu, std::function<void(QAction*)> itemClicked,
                int maxItems = kDefaultMaxItems);

    // Removes and frees every item and sub-menu; the new items are made on the next showing.
    void setEntries(std::vector<WebsiteEntry> entries);
    qsizetype entryCount() const { return qsizetype(m_entries.size()); }

private:
    void clearMenu();
    void fillOnShow(QMenu* menu, qsizetype begin, qsizetype end);
    void fillRange(QMenu* menu, qsizetype begin, qsizetype end);
    qsizetype groupSize(qsizetype count) const;
    void addItem(QMenu* menu, const WebsiteEntry& entry);
    QString rangeTitle(qsizetype begin, qsizetype end) const;

    QMenu* m_menu;
    std::function<void(QAction*)> m_itemClicked;
    int m_maxItems;
    QIcon m_itemIcon;
    std::vector<WebsiteEntry> m_entries;
};

} // namespace qb
