#pragma once

#include "nodedata.h"

#include <QAbstractItemModel>
#include <QAbstractListModel>
#include <QIcon>
#include <memory>
#include <vector>

namespace qb {

using ContactSnapshot = std::shared_ptr<const std::vector<ContactNodeData>>;

// The contacts as "简单联系" (names only) or "详细查看" (each name with its e-mail and home page
// as children) shows them: one top-level node per contact, in book order. Both trees share one
// snapshot, so each contact's record exists once and lives as long as the nodes showing it.
// A model over the snapshot, not one item object per node, keeps a book of 100,000 contacts
// quick to fill and to throw away.
class ContactTreeModel : public QAbstractItemModel {
    Q_OBJECT
public:
    enum class Shape { NamesOnly, WithDetails };

    explicit ContactTreeModel(Shape shape, QObject* parent = nullptr);

    void setContacts(ContactSnapshot contacts);
    // The record of a node (a child gives its contact's); null for no node.
    const ContactNodeData* contactAt(const QModelIndex& index) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    int contactCount() const;

    Shape m_shape;
    ContactSnapshot m_contacts;
    QIcon m_contactIcon;
    QIcon m_entryIcon;
};

// The websites as "网址避长" shows them: one node per website, in book order.
class WebsiteTreeModel : public QAbstractListModel {
    Q_OBJECT
public:
    explicit WebsiteTreeModel(QObject* parent = nullptr);

    void setWebsites(std::vector<WebsiteNodeData> websites);
    const WebsiteNodeData* websiteAt(const QModelIndex& index) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    std::vector<WebsiteNodeData> m_websites;
    QIcon m_icon;
};

} // namespace qb
