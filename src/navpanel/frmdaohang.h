#pragma once

#include "navmodels.h"

#include <QMainWindow>
#include <functional>

class QAction;
class QMenu;
class QTabWidget;
class QTreeView;

namespace qb {

class BookDataset;
class WebsiteMenu;

// The navigation panel: a small topmost window showing the contacts and websites as trees,
// with popup menus that open a contact's home page, start a mail or open a website, and the
// menu "网址导航" of every website. It reads the main window's datasets and writes nothing;
// each fill leaves the books it walked on their last records.
//
// The controls carry the form's names as object names (tv1, PopupMenu1, N4, ...).
class Tfrmdaohang : public QMainWindow {
    Q_OBJECT
public:
    // onClosed runs whenever the panel closes (it re-enables the items that open it);
    // showMainWindow runs after "退出" has closed it.
    Tfrmdaohang(BookDataset& contacts, BookDataset& websites, std::function<void()> onClosed,
                std::function<void()> showMainWindow, QWidget* parent = nullptr);
    ~Tfrmdaohang() override;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void createMenus();
    void createPages();
    QTreeView* addTree(const QString& name, const QString& caption, QAbstractItemModel* model);
    void onNodeChange(QTreeView* tree, void (Tfrmdaohang::*change)(const QModelIndex&));
    void attachPopup(QTreeView* tree, QMenu* popup);
    QAction* addPopupItem(QMenu* popup, const QString& name, const QString& caption,
                          void (Tfrmdaohang::*clickAction)(QAction*));

    void FormShow();
    void FormClose();
    void N3Click();
    void N7Click();
    void tv1Change(const QModelIndex& node);
    void tv3Change(const QModelIndex& node);

    void FillPanel();
    void FillContactTree(const ContactSnapshot& contacts);
    void FillContactDetailTree(const ContactSnapshot& contacts);
    void FillWebsiteTree(const std::vector<WebsiteEntry>& websites);
    void BuildWebsiteMenu(std::vector<WebsiteEntry> websites);
    void VisitItemUrl(QAction* item);
    void MailItemAddress(QAction* item);

    static void selectFirstNode(QTreeView* tree);
    static void setItemTarget(QAction* item, const QString* hint);

    BookDataset& m_contacts;
    BookDataset& m_websites;
    std::function<void()> m_onClosed;
    std::function<void()> m_showMainWindow;

    QTabWidget* m_pages = nullptr;
    ContactTreeModel* m_contactNames = nullptr;
    ContactTreeModel* m_contactDetails = nullptr;
    WebsiteTreeModel* m_websiteNames = nullptr;
    QTreeView* m_tv1 = nullptr;
    QTreeView* m_tv2 = nullptr;
    QTreeView* m_tv3 = nullptr;
    QAction* m_N4 = nullptr;
    QAction* m_N5 = nullptr;
    QAction* m_N8 = nullptr;
    WebsiteMenu* m_websiteMenu = nullptr;
};

} // namespace qb
