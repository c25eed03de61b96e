#include "frmdaohang.h"

#include "navimages.h"
#include "platform/errorguard.h"
#include "platform/platform.h"
#include "platform/windowlook.h"
#include "store/bookdataset.h"
#include "websitemenu.h"

#include <QCloseEvent>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QShowEvent>
#include <QTabBar>
#include <QTabWidget>
#include <QTreeView>

namespace qb {

namespace {

constexpr QPoint kPosition(612, 25);
constexpr QSize kClientSize(178, 259);
constexpr int kFontPixels = 12;
constexpr int kContactFontPixels = 14;
constexpr int kIndent = 19;

QFont panelFont(int pixels) {
    QFont font = chineseFont();
    font.setPixelSize(pixels);
    return font;
}

// Each book is read once per fill and feeds both of its views. The table's own order is many
// times faster than the grid's on a big book, so entries are placed by grid row and rows with
// no record left out. The fill leaves the book on its last record.
template <typename Entry, typename MakeEntry>
std::vector<Entry> readInGridOrder(BookDataset& book, MakeEntry makeEntry) {
    std::vector<Entry> entries(size_t(book.rowCount()));
    std::vector<bool> read(entries.size());
    book.forEachRecordInTableOrder([&](const SqliteStatement& row, int gridRow) {
        entries[size_t(gridRow)] = makeEntry(book, row);
        read[size_t(gridRow)] = true;
    });
    size_t kept = 0;
    for (size_t row = 0; row < entries.size(); ++row)
        if (read[row])
            entries[kept++] = std::move(entries[row]);
    entries.resize(kept);
    book.last();
    return entries;
}

ContactSnapshot readContacts(BookDataset& book) {
    return std::make_shared<std::vector<ContactNodeData>>(
        readInGridOrder<ContactNodeData>(book, ContactNodeData::fromRow));
}

std::vector<WebsiteEntry> readWebsites(BookDataset& book) {
    return readInGridOrder<WebsiteEntry>(book, WebsiteEntry::fromRow);
}

} // namespace

Tfrmdaohang::Tfrmdaohang(BookDataset& contacts, BookDataset& websites,
                         std::function<void()> onClosed, std::function<void()> showMainWindow,
                         QWidget* parent)
    // A window of its own, not a tool window: X11 makes tool windows transients of the
    // program's windows, and KWin, Mutter and Xfwm hide those with the main window when it
    // goes to the tray, where the panel is most wanted.
    : QMainWindow(parent, Qt::Window | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint |
                              Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
    , m_contacts(contacts)
    , m_websites(websites)
    , m_onClosed(std::move(onClosed))
    , m_showMainWindow(std::move(showMainWindow)) {
    setObjectName(QStringLiteral("frmdaohang"));
    setFont(panelFont(kFontPixels));
    createPages();
    createMenus();
    m_pages->setFixedSize(kClientSize);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

Tfrmdaohang::~Tfrmdaohang() = default;

void Tfrmdaohang::createMenus() {
    QMenu* fileMenu = menuBar()->addMenu(QStringLiteral("文件"));
    fileMenu->setObjectName(QStringLiteral("N2"));
    QAction* refresh = fileMenu->addAction(QStringLiteral("刷新"));
    refresh->setObjectName(QStringLiteral("N7"));
    connect(refresh, &QAction::triggered, this, [this] { guarded([this] { N7Click(); }); });
    fileMenu->addSeparator()->setObjectName(QStringLiteral("N6"));
    QAction* quit = fileMenu->addAction(QStringLiteral("退出"));
    quit->setObjectName(QStringLiteral("N3"));
    connect(quit, &QAction::triggered, this, [this] { guarded([this] { N3Click(); }); });

    QMenu* websiteMenu = menuBar()->addMenu(QStringLiteral("网址导航"));
    websiteMenu->setObjectName(QStringLiteral("N1"));
    m_websiteMenu = new WebsiteMenu(
        websiteMenu, [this](QAction* item) { guarded([this, item] { VisitItemUrl(item); }); });

    auto* popupMenu1 = new QMenu(this);
    popupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    m_N4 = addPopupItem(popupMenu1, QStringLiteral("N4"), QStringLiteral("访问主页"),
                        &Tfrmdaohang::VisitItemUrl);
    m_N5 = addPopupItem(popupMenu1, QStringLiteral("N5"), QStringLiteral("给他写信"),
                        &Tfrmdaohang::MailItemAddress);
    attachPopup(m_tv1, popupMenu1);

    auto* popupMenu2 = new QMenu(this);
    popupMenu2->setObjectName(QStringLiteral("PopupMenu2"));
    m_N8 = addPopupItem(popupMenu2, QStringLiteral("N8"), QStringLiteral("访问"),
                        &Tfrmdaohang::VisitItemUrl);
    attachPopup(m_tv3, popupMenu2);
}

void Tfrmdaohang::createPages() {
    m_pages = new QTabWidget(this);
    m_pages->setObjectName(QStringLiteral("PageControl1"));
    // Three tab titles must fit the panel's 178 pixels without scroll arrows.
    m_pages->tabBar()->setStyleSheet(QStringLiteral("QTabBar::tab { padding: 3px 3px; }"));
    setCentralWidget(m_pages);
    m_contactNames = new ContactTreeModel(ContactTreeModel::Shape::NamesOnly, this);
    m_contactDetails = new ContactTreeModel(ContactTreeModel::Shape::WithDetails, this);
    m_websiteNames = new WebsiteTreeModel(this);
    m_tv1 = addTree(QStringLiteral("tv1"), QStringLiteral("简单联系"), m_contactNames);
    m_tv2 = addTree(QStringLiteral("tv2"), QStringLiteral("详细查看"), m_contactDetails);
    m_tv3 = addTree(QStringLiteral("tv3"), QStringLiteral("网址避长"), m_websiteNames);

    QFont contactFont = panelFont(kContactFontPixels);
    contactFont.setBold(true);
    m_tv1->setFont(contactFont);
    // The selected contact stays marked while its popup menu is open.
    keepSelectionVisible(m_tv1);

    onNodeChange(m_tv1, &Tfrmdaohang::tv1Change);
    onNodeChange(m_tv3, &Tfrmdaohang::tv3Change);
    m_pages->setCurrentIndex(0);
}

QTreeView* Tfrmdaohang::addTree(const QString& name, const QString& caption,
                                QAbstractItemModel* model) {
    auto* tree = new QTreeView;
    tree->setObjectName(name);
    tree->setModel(model);
    tree->setHeaderHidden(true);
    tree->setIndentation(kIndent);
    tree->setIconSize(navImage(NavImage::Contact).size());
    // One row height for all rows lets the view lay out 100,000 nodes without measuring each.
    tree->setUniformRowHeights(true);
    tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tree->setSelectionMode(QAbstractItemView::SingleSelection);
    m_pages->addTab(tree, caption);
    return tree;
}

// The change handler runs whenever the selected node changes, and with no node when a refill
// empties the tree (a reset changes the selection without telling).
void Tfrmdaohang::onNodeChange(QTreeView* tree, void (Tfrmdaohang::*change)(const QModelIndex&)) {
    const auto run = [this, change](const QModelIndex& node) {
        guarded([&] { (this->*change)(node); });
    };
    connect(tree->selectionModel(), &QItemSelectionModel::currentChanged, this, run);
    connect(tree->model(), &QAbstractItemModel::modelReset, this, [run] { run(QModelIndex()); });
}

// A right click first selects the node under the mouse, so the popup acts on what was clicked.
void Tfrmdaohang::attachPopup(QTreeView* tree, QMenu* popup) {
    tree->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(tree, &QWidget::customContextMenuRequested, this, [tree, popup](const QPoint& pos) {
        const QModelIndex node = tree->indexAt(pos);
        if (node.isValid())
            tree->setCurrentIndex(node);
        popup->popup(tree->viewport()->mapToGlobal(pos));
    });
}

// Popup items stay disabled until a node gives them a target.
QAction* Tfrmdaohang::addPopupItem(QMenu* popup, const QString& name, const QString& caption,
                                   void (Tfrmdaohang::*clickAction)(QAction*)) {
    QAction* item = popup->addAction(caption);
    item->setObjectName(name);
    item->setEnabled(false);
    connect(item, &QAction::triggered, this,
            [this, item, clickAction] { guarded([&] { (this->*clickAction)(item); }); });
    return item;
}

void Tfrmdaohang::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    // Spontaneous shows come from the window system (a restore), not from the program.
    if (!event->spontaneous())
        FormShow();
}

void Tfrmdaohang::closeEvent(QCloseEvent* event) {
    FormClose();
    event->accept();
}

void Tfrmdaohang::FormShow() {
    move(kPosition);
    setWindowTitle(kProgramName + QStringLiteral("--导航面板"));
    guarded([this] { FillPanel(); });
}

void Tfrmdaohang::FormClose() {
    guarded([this] { m_onClosed(); });
}

void Tfrmdaohang::N3Click() {
    close();
    m_showMainWindow();
}

void Tfrmdaohang::N7Click() {
    FillPanel();
}

void Tfrmdaohang::FillPanel() {
    const ContactSnapshot contacts = readContacts(m_contacts);
    FillContactTree(contacts);
    FillContactDetailTree(contacts);
    std::vector<WebsiteEntry> websites = readWebsites(m_websites);
    FillWebsiteTree(websites);
    BuildWebsiteMenu(std::move(websites));
}

void Tfrmdaohang::selectFirstNode(QTreeView* tree) {
    const QModelIndex first = tree->model()->index(0, 0);
    if (first.isValid())
        tree->setCurrentIndex(first);
}

void Tfrmdaohang::FillContactTree(const ContactSnapshot& contacts) {
    m_contactNames->setContacts(contacts);
    selectFirstNode(m_tv1);
}

void Tfrmdaohang::FillContactDetailTree(const ContactSnapshot& contacts) {
    m_contactDetails->setContacts(contacts);
    selectFirstNode(m_tv2);
}

void Tfrmdaohang::FillWebsiteTree(const std::vector<WebsiteEntry>& websites) {
    std::vector<WebsiteNodeData> nodes;
    nodes.reserve(websites.size());
    for (const WebsiteEntry& website : websites)
        nodes.push_back(WebsiteNodeData::fromEntry(website));
    m_websiteNames->setWebsites(std::move(nodes));
    selectFirstNode(m_tv3);
}

void Tfrmdaohang::BuildWebsiteMenu(std::vector<WebsiteEntry> websites) {
    m_websiteMenu->setEntries(std::move(websites));
}

void Tfrmdaohang::setItemTarget(QAction* item, const QString* hint) {
    item->setStatusTip(hint ? *hint : QString());
    item->setEnabled(hint != nullptr);
}

// With no node selected (an emptied tree) the popup items have no target.
void Tfrmdaohang::tv1Change(const QModelIndex& node) {
    const ContactNodeData* contact = m_contactNames->contactAt(node);
    setItemTarget(m_N4, contact ? &contact->homePage : nullptr);
    setItemTarget(m_N5, contact ? &contact->email : nullptr);
}

void Tfrmdaohang::tv3Change(const QModelIndex& node) {
    const WebsiteNodeData* website = m_websiteNames->websiteAt(node);
    setItemTarget(m_N8, website ? &website->address : nullptr);
}

void Tfrmdaohang::VisitItemUrl(QAction* item) {
    OpenUrl(item->statusTip());
}

void Tfrmdaohang::MailItemAddress(QAction* item) {
    OpenMailTo(item->statusTip());
}

} // namespace qb
