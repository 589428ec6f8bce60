#pragma once
// The rows of the file browser: one item per row, in row order, and what each row shows. File rows
// can be dragged out as a text/uri-list of their path.
#include "base/AnyList.h"

#include <QAbstractListModel>

#include <string>
#include <vector>

namespace brindle {
struct TFolderListing;
}

struct TPanelItem {
    bool IsFile = false;
    bool IsDir = false;    // a folder, the ".." row included
    bool IsRootUp = false; // the ".." row of a root: it leads to the drive list
    bool IsDrive = false;
    std::string ItemName; // without path and without brackets; a drive's full path
};

class TNortonModel : public QAbstractListModel {
    Q_OBJECT
  public:
    using QAbstractListModel::QAbstractListModel;

    // ".." first, then "[folder]" rows, then files.
    static TAnyList<TPanelItem> FolderItems(const brindle::TFolderListing& Listing);
    static TAnyList<TPanelItem> DriveItems(const std::vector<std::string>& Drives);
    static QString RowText(const TPanelItem& Item);

    // Replaces every row at once; Dir is the folder the names are in ("" for the drive list).
    void SetItems(TAnyList<TPanelItem> Value, const std::string& Dir);
    const TAnyList<TPanelItem>& GetItems() const { return Items; }
    // The full path of a row's file or folder; "" for the ".." row.
    std::string PathOf(int Row) const;

    int rowCount(const QModelIndex& Parent = {}) const override;
    QVariant data(const QModelIndex& Index, int Role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& Index) const override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& Indexes) const override;
    Qt::DropActions supportedDragActions() const override;

  private:
    TAnyList<TPanelItem> Items;
    std::string Dir;
};
