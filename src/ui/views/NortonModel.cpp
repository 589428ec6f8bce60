#include "ui/views/NortonModel.h"

#include "ui/views/FolderListing.h"

#include <QMimeData>
#include <QUrl>

namespace {

std::unique_ptr<TPanelItem> NewItem(std::string Name) {
    auto item = std::make_unique<TPanelItem>();
    item->ItemName = std::move(Name);
    return item;
}

} // namespace

TAnyList<TPanelItem> TNortonModel::FolderItems(const brindle::TFolderListing& Listing) {
    TAnyList<TPanelItem> items;
    auto up = NewItem("..");
    up->IsDir = true;
    up->IsRootUp = Listing.IsRoot;
    items.Add(std::move(up));
    for (const auto& name : Listing.Dirs) {
        auto item = NewItem(name);
        item->IsDir = true;
        items.Add(std::move(item));
    }
    for (const auto& name : Listing.Files) {
        auto item = NewItem(name);
        item->IsFile = true;
        items.Add(std::move(item));
    }
    return items;
}

TAnyList<TPanelItem> TNortonModel::DriveItems(const std::vector<std::string>& Drives) {
    TAnyList<TPanelItem> items;
    for (const auto& d : Drives) {
        auto item = NewItem(d);
        item->IsDrive = true;
        items.Add(std::move(item));
    }
    return items;
}

QString TNortonModel::RowText(const TPanelItem& Item) {
    const QString name = QString::fromStdString(Item.ItemName);
    if (Item.IsDir && Item.ItemName != "..") return '[' + name + ']';
    return name;
}

void TNortonModel::SetItems(TAnyList<TPanelItem> Value, const std::string& Folder) {
    beginResetModel();
    Items = std::move(Value);
    Dir = Folder;
    endResetModel();
}

std::string TNortonModel::PathOf(int Row) const {
    const TPanelItem& item = *Items.Item(Row);
    if (item.IsDrive) return item.ItemName;
    if (item.IsDir && item.ItemName == "..") return {};
    return brindle::JoinPath(Dir, item.ItemName);
}

int TNortonModel::rowCount(const QModelIndex& Parent) const {
    return Parent.isValid() ? 0 : Items.Count();
}

QVariant TNortonModel::data(const QModelIndex& Index, int Role) const {
    if (!Index.isValid() || Index.row() >= Items.Count()) return {};
    const TPanelItem& item = *Items.Item(Index.row());
    switch (Role) {
    case Qt::DisplayRole:
        return RowText(item);
    case Qt::ToolTipRole:
        return QString::fromStdString(PathOf(Index.row()));
    default:
        return {};
    }
}

Qt::ItemFlags TNortonModel::flags(const QModelIndex& Index) const {
    if (!Index.isValid() || Index.row() >= Items.Count()) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (Items.Item(Index.row())->IsFile) f |= Qt::ItemIsDragEnabled;
    return f;
}

QStringList TNortonModel::mimeTypes() const {
    return {QStringLiteral("text/uri-list")};
}

QMimeData* TNortonModel::mimeData(const QModelIndexList& Indexes) const {
    QList<QUrl> urls;
    for (const QModelIndex& i : Indexes)
        if (i.isValid() && i.row() < Items.Count() && Items.Item(i.row())->IsFile)
            urls.push_back(QUrl::fromLocalFile(QString::fromStdString(PathOf(i.row()))));
    if (urls.isEmpty()) return nullptr;
    auto* mime = new QMimeData; // the drag takes ownership
    mime->setUrls(urls);
    return mime;
}

Qt::DropActions TNortonModel::supportedDragActions() const {
    return Qt::CopyAction;
}
