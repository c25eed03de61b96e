#include "websitemenu.h"

#include "navimages.h"

#include <QMenu>

#include <algorithm>

namespace qb {

namespace {

// Characters of a website name shown at each end of a sub-menu's range.
constexpr int kTitleChars = 8;

// A menu caption shows "&" as a mnemonic; doubling it shows the name as it is.
QString menuCaption(const QString& text) {
    QString caption = text;
    return caption.replace(u'&', QStringLiteral("&&"));
}

QString elided(const QString& text) {
    return text.size() <= kTitleChars ? text : text.left(kTitleChars) + u'…';
}

} // namespace

WebsiteMenu::WebsiteMenu(QMenu* menu, std::function<void(QAction*)> itemClicked, int maxItems)
    : QObject(menu)
    , m_menu(menu)
    , m_itemClicked(std::move(itemClicked))
    , m_maxItems(std::max(2, maxItems))
    , m_itemIcon(navImage(NavImage::Contact)) {
    connect(m_menu, &QMenu::aboutToShow, this, [this] {
        if (m_menu->isEmpty())
            fillRange(m_menu, 0, entryCount());
    });
}

void WebsiteMenu::setEntries(std::vector<WebsiteEntry> entries) {
    clearMenu();
    m_entries = std::move(entries);
}

void WebsiteMenu::clearMenu() {
    const QList<QMenu*> subMenus = m_menu->findChildren<QMenu*>(Qt::FindDirectChildrenOnly);
    m_menu->clear();
    qDeleteAll(subMenus);
}

void WebsiteMenu::fillOnShow(QMenu* menu, qsizetype begin, qsizetype end) {
    connect(menu, &QMenu::aboutToShow, this, [this, menu, begin, end] {
        if (menu->isEmpty())
            fillRange(menu, begin, end);
    });
}

void WebsiteMenu::fillRange(QMenu* menu, qsizetype begin, qsizetype end) {
    const qsizetype count = end - begin;
    if (count <= m_maxItems) {
        for (qsizetype i = begin; i < end; ++i)
            addItem(menu, m_entries[size_t(i)]);
        return;
    }
    const qsizetype group = groupSize(count);
    for (qsizetype first = begin; first < end; first += group) {
        const qsizetype last = std::min(first + group, end);
        auto* subMenu = new QMenu(rangeTitle(first, last), menu);
        menu->addMenu(subMenu);
        fillOnShow(subMenu, first, last);
    }
}

// The entries per sub-menu: with L levels of menus needed at maxItems entries each, every level
// gets the L-th root of the count, rounded up, so the levels come out even.
qsizetype WebsiteMenu::groupSize(qsizetype count) const {
    int levels = 1;
    for (qsizetype reach = m_maxItems; reach < count; reach *= m_maxItems)
        ++levels;
    qsizetype fanOut = 2;
    const auto reaches = [&](qsizetype f) {
        qsizetype total = 1;
        for (int level = 0; level < levels && total < count; ++level)
            total *= f;
        return total >= count;
    };
    while (!reaches(fanOut))
        ++fanOut;
    qsizetype group = 1;
    for (int level = 1; level < levels; ++level)
        group *= fanOut;
    return group;
}

void WebsiteMenu::addItem(QMenu* menu, const WebsiteEntry& entry) {
    QAction* item = menu->addAction(m_itemIcon, menuCaption(entry.name));
    item->setStatusTip(entry.address);
    connect(item, &QAction::triggered, this, [this, item] { m_itemClicked(item); });
}

QString WebsiteMenu::rangeTitle(qsizetype begin, qsizetype end) const {
    return menuCaption(elided(m_entries[size_t(begin)].name) + QStringLiteral(" ~ ") +
                       elided(m_entries[size_t(end - 1)].name));
}

} // namespace qb
