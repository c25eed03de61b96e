#include "navmodels.h"

#include "navimages.h"

namespace qb {

namespace {

// A child node's internal id is its contact's row plus one; top-level nodes have 0.
constexpr quintptr kTopLevel = 0;
// The children of a contact in "详细查看", in this order.
enum DetailRow { EmailRow = 0, HomePageRow = 1, DetailRows = 2 };

QVariant headerText(int section, Qt::Orientation orientation, int role, const char* text) {
    if (section != 0 || orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    return QString::fromUtf8(text);
}

} // namespace

ContactTreeModel::ContactTreeModel(Shape shape, QObject* parent)
    : QAbstractItemModel(parent)
    , m_shape(shape)
    , m_contacts(std::make_shared<const std::vector<ContactNodeData>>())
    , m_contactIcon(contactIcon())
    , m_entryIcon(entryIcon()) {}

void ContactTreeModel::setContacts(ContactSnapshot contacts) {
    beginResetModel();
    m_contacts = std::move(contacts);
    endResetModel();
}

int ContactTreeModel::contactCount() const {
    return int(m_contacts->size());
}

const ContactNodeData* ContactTreeModel::contactAt(const QModelIndex& index) const {
    if (!index.isValid() || index.model() != this)
        return nullptr;
    const int row = index.internalId() == kTopLevel ? index.row() : int(index.internalId() - 1);
    return &(*m_contacts)[size_t(row)];
}

QModelIndex ContactTreeModel::index(int row, int column, const QModelIndex& parent) const {
    if (!hasIndex(row, column, parent))
        return {};
    return createIndex(row, column, parent.isValid() ? quintptr(parent.row()) + 1 : kTopLevel);
}

QModelIndex ContactTreeModel::parent(const QModelIndex& child) const {
    if (!child.isValid() || child.internalId() == kTopLevel)
        return {};
    return createIndex(int(child.internalId() - 1), 0, kTopLevel);
}

int ContactTreeModel::rowCount(const QModelIndex& parent) const {
    if (!parent.isValid())
        return contactCount();
    const bool isContact = parent.column() == 0 && parent.internalId() == kTopLevel;
    return isContact && m_shape == Shape::WithDetails ? DetailRows : 0;
}

int ContactTreeModel::columnCount(const QModelIndex&) const {
    return 1;
}

QVariant ContactTreeModel::data(const QModelIndex& index, int role) const {
    const ContactNodeData* contact = contactAt(index);
    if (!contact)
        return {};
    const bool isContact = index.internalId() == kTopLevel;
    if (role == Qt::DecorationRole)
        return isContact ? m_contactIcon : m_entryIcon;
    if (role != Qt::DisplayRole)
        return {};
    if (isContact)
        return contact->name;
    return index.row() == EmailRow ? contact->email : contact->homePage;
}

QVariant ContactTreeModel::headerData(int section, Qt::Orientation orientation, int role) const {
    return headerText(section, orientation, role, "联系人");
}

WebsiteTreeModel::WebsiteTreeModel(QObject* parent)
    : QAbstractListModel(parent)
    , m_icon(entryIcon()) {}

void WebsiteTreeModel::setWebsites(std::vector<WebsiteNodeData> websites) {
    beginResetModel();
    m_websites = std::move(websites);
    endResetModel();
}

const WebsiteNodeData* WebsiteTreeModel::websiteAt(const QModelIndex& index) const {
    return index.isValid() && index.model() == this ? &m_websites[size_t(index.row())] : nullptr;
}

int WebsiteTreeModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_websites.size());
}

QVariant WebsiteTreeModel::data(const QModelIndex& index, int role) const {
    const WebsiteNodeData* website = websiteAt(index);
    if (!website)
        return {};
    if (role == Qt::DecorationRole)
        return m_icon;
    return role == Qt::DisplayRole ? QVariant(website->name) : QVariant();
}

QVariant WebsiteTreeModel::headerData(int section, Qt::Orientation orientation, int role) const {
    return headerText(section, orientation, role, "网址名称");
}

} // namespace qb
