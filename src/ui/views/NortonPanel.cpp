#include "ui/views/NortonPanel.h"

#include "ui/views/Drives.h"
#include "ui/views/FolderListing.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>

#include <filesystem>
#include <system_error>

namespace {

// Rows of a fixed height with the text 2 px in; the palette's selection colours.
class TNortonDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* Painter, const QStyleOptionViewItem& Option,
               const QModelIndex& Index) const override {
        const bool selected = Option.state & QStyle::State_Selected;
        const QPalette::ColorGroup group =
            Option.state & QStyle::State_Active ? QPalette::Active : QPalette::Inactive;
        Painter->save();
        Painter->fillRect(Option.rect,
                          Option.palette.color(group, selected ? QPalette::Highlight : QPalette::Base));
        Painter->setPen(Option.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
        Painter->setFont(Option.font);
        const QRect text = Option.rect.adjusted(2, 0, -2, 0);
        Painter->drawText(
            text, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
            Option.fontMetrics.elidedText(Index.data().toString(), Qt::ElideRight, text.width()));
        Painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem& Option, const QModelIndex&) const override {
        return {Option.rect.width(), TNortonPanel::DefaultRowHeight};
    }
};

} // namespace

TNortonPanel::TNortonPanel(QWidget* Parent) : QListView(Parent), Model(new TNortonModel(this)) {
    setModel(Model);
    setItemDelegate(new TNortonDelegate(this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Every row is as high as the first: a folder of thousands of files lays out at once.
    setUniformItemSizes(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setTabKeyNavigation(false);
    setWordWrap(false);
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
    setDefaultDropAction(Qt::CopyAction);
    ListDir("/");
}

void TNortonPanel::SetDir(const std::string& Value) {
    if (Value.empty())
        ListDrives();
    else
        ListDir(Value);
}

bool TNortonPanel::ListDir(const std::string& Folder) {
    const std::string dir = brindle::NormalDir(Folder);
    brindle::TFolderListing listing;
    std::string why;
    if (!brindle::ListFolder(dir, brindle::SplitFileExt(FileExt), listing, why)) {
        Log("Cannot open the folder \"" + dir + "\": " + why);
        return false;
    }
    Dir = dir;
    Model->SetItems(TNortonModel::FolderItems(listing), Dir);
    SetRow(0);
    if (OnDir) OnDir(this);
    return true;
}

void TNortonPanel::ListDrives() {
    Dir.clear();
    Model->SetItems(TNortonModel::DriveItems(brindle::LogicalDrives()), Dir);
    SetRow(0);
    if (OnDir) OnDir(this);
}

void TNortonPanel::SetFileExt(const std::string& Value) {
    FileExt = Value;
    SetDir(Dir);
}

std::string TNortonPanel::GetFileName() const {
    const int row = GetRow();
    if (row < 0 || row >= RowCount() || !Item(row).IsFile) return {};
    return Model->PathOf(row);
}

void TNortonPanel::SetFileName(const std::string& Value) {
    if (Value.empty()) return;
    const std::string path = brindle::NormalDir(Value);
    if (!ListDir(brindle::ParentDir(path))) return;
    RestOn(brindle::LastComponent(path), true);
}

int TNortonPanel::GetRow() const {
    const QModelIndex i = currentIndex();
    return i.isValid() ? i.row() : -1;
}

void TNortonPanel::SetRow(int Row) {
    if (Row < 0 || Row >= RowCount()) return;
    const QModelIndex i = Model->index(Row);
    setCurrentIndex(i);
    scrollTo(i);
}

void TNortonPanel::RestOn(const std::string& Name, bool Files) {
    const auto wanted = [&](const TPanelItem& item) {
        return Files ? item.IsFile : (item.IsDrive || (item.IsDir && item.ItemName != ".."));
    };
    // File systems here tell case apart: the exact name wins over one that differs in case only.
    for (int pass = 0; pass < 2; ++pass)
        for (int row = 0; row < RowCount(); ++row) {
            const TPanelItem& item = Item(row);
            if (wanted(item) &&
                (pass == 0 ? item.ItemName == Name : brindle::SameNoCase(item.ItemName, Name))) {
                SetRow(row);
                return;
            }
        }
}

void TNortonPanel::GoUp() {
    if (Dir.empty()) return;
    const std::string parent = brindle::ParentDir(Dir);
    if (Item(0).IsRootUp || parent == Dir) {
        const std::string left = Dir;
        ListDrives();
        RestOn(left, false);
        return;
    }
    const std::string left = brindle::LastComponent(Dir);
    if (ListDir(parent)) RestOn(left, false);
}

void TNortonPanel::GridDblClick() {
    const int row = GetRow();
    if (row < 0 || row >= RowCount()) return;
    const TPanelItem& item = Item(row);
    if (item.IsDrive) {
        ListDir(item.ItemName);
    } else if (item.IsDir && item.ItemName == "..") {
        GoUp();
    } else if (item.IsDir) {
        ListDir(brindle::JoinPath(Dir, item.ItemName));
    } else if (item.IsFile) {
        const std::string file = ExistingFile(row);
        if (!file.empty() && OnOpenFile) OnOpenFile(this, file);
    }
}

bool TNortonPanel::GridKeyDown(int Key) {
    switch (Key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        GridDblClick();
        return true;
    // Home and End of the panel: the ".." row, and the last row.
    case Qt::Key_Backspace:
    case Qt::Key_Left:
        if (RowCount() > 0) SetRow(0);
        return true;
    case Qt::Key_Right:
        if (RowCount() > 0) SetRow(RowCount() - 1);
        return true;
    default:
        return false;
    }
}

void TNortonPanel::keyPressEvent(QKeyEvent* Event) {
    const auto mods = Event->modifiers() & ~Qt::KeypadModifier;
    KeyMoving = true;
    if (mods == Qt::NoModifier && GridKeyDown(Event->key()))
        Event->accept();
    else
        QListView::keyPressEvent(Event);
    KeyMoving = false;
}

void TNortonPanel::mousePressEvent(QMouseEvent* Event) {
    QListView::mousePressEvent(Event);
    const QModelIndex at = indexAt(Event->position().toPoint());
    if (Event->button() == Qt::LeftButton && at.isValid()) Preview(at.row());
}

void TNortonPanel::currentChanged(const QModelIndex& Current, const QModelIndex& Previous) {
    QListView::currentChanged(Current, Previous);
    // The user's own moves preview; the cursor placed by code (SetFileName) does not.
    if (KeyMoving && Current.isValid()) Preview(Current.row());
}

void TNortonPanel::mouseDoubleClickEvent(QMouseEvent* Event) {
    const QModelIndex at = indexAt(Event->position().toPoint());
    // The view first, so the release that ends the double click is not taken for another click.
    QListView::mouseDoubleClickEvent(Event);
    if (Event->button() != Qt::LeftButton || !at.isValid()) return;
    SetRow(at.row());
    GridDblClick();
}

void TNortonPanel::Preview(int Row) {
    if (Row < 0 || Row >= RowCount() || !Item(Row).IsFile) return;
    const std::string file = ExistingFile(Row);
    if (!file.empty() && OnPreview) OnPreview(this, file);
}

std::string TNortonPanel::ExistingFile(int Row) {
    const std::string path = Model->PathOf(Row);
    std::error_code ec;
    const auto st = std::filesystem::status(path, ec);
    if (!ec && std::filesystem::exists(st) && !std::filesystem::is_directory(st)) return path;
    const std::string why = ec ? ec.message()
                            : std::filesystem::is_directory(st)
                                ? std::make_error_code(std::errc::is_a_directory).message()
                                : std::make_error_code(std::errc::no_such_file_or_directory).message();
    Log("Cannot use the file \"" + path + "\": " + why);
    return {};
}

void TNortonPanel::Log(const std::string& Text) {
    if (OnLog) OnLog(this, Text);
}
