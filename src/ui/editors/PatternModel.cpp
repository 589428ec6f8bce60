#include "ui/editors/PatternModel.h"

#include "ui/views/Theme.h"

#include "app/App.h"
#include "song/Sequencer.h"

#include <cmath>

TPatternModel::TPatternModel(cApp& App, QObject* Parent)
    : QAbstractTableModel(Parent), App(App), Rows(App.seq ? App.ActivePatternData().RowCount : DefaultRowCount) {}

int TPatternModel::rowCount(const QModelIndex& Parent) const { return Parent.isValid() ? 0 : Rows; }

int TPatternModel::columnCount(const QModelIndex& Parent) const { return Parent.isValid() ? 0 : GridChannelCount; }

const cPattern& TPatternModel::Pattern() const { return App.ActivePatternData(); }

QVariant TPatternModel::data(const QModelIndex& Index, int Role) const {
    if (!Index.isValid() || !App.seq) return {};
    switch (Role) {
    case Qt::DisplayRole: return CellText(Pattern().LoadCell(Index.column(), Index.row()));
    case Qt::BackgroundRole: return RowColour(Index.row());
    default: return {};
    }
}

QVariant TPatternModel::headerData(int Section, Qt::Orientation Orientation, int Role) const {
    if (Role != Qt::DisplayRole || !App.seq) return {};
    if (Orientation == Qt::Vertical) return App.seq->CurRow == Section ? QString("-->") : QString::number(Section + 1);
    const QString name = HeaderName(Section);
    return name.isEmpty() ? HeaderNumber(Section) : HeaderNumber(Section) + "\n" + name;
}

void TPatternModel::Reshape() {
    const int rows = App.ActivePatternData().RowCount;
    if (rows == Rows) {
        emit dataChanged(index(0, 0), index(Rows - 1, GridChannelCount - 1));
        emit headerDataChanged(Qt::Horizontal, 0, GridChannelCount - 1);
        return;
    }
    if (rows > Rows) {
        beginInsertRows({}, Rows, rows - 1);
        Rows = rows;
        endInsertRows();
    } else {
        beginRemoveRows({}, rows, Rows - 1);
        Rows = rows;
        endRemoveRows();
    }
    emit dataChanged(index(0, 0), index(Rows - 1, GridChannelCount - 1));
    emit headerDataChanged(Qt::Horizontal, 0, GridChannelCount - 1);
}

QString TPatternModel::CellText(cStep Cell) {
    if (Cell.ins == 0) return {};
    if (Cell.ins == -1) return QStringLiteral("===");
    // Truncation toward zero; a pitch too large for an int cannot be stored (the reader bounds it).
    return QString::number(int(std::trunc(Cell.pitch))) + " - " + QString::number(Cell.ins);
}

QColor TPatternModel::RowColour(int PatternRow) {
    const auto& colours = brindle::ui::CurrentGridColours();
    if (PatternRow % 16 == 0) return colours.Bar;
    if (PatternRow % 4 == 0) return colours.Beat;
    return colours.Row;
}

QString TPatternModel::HeaderNumber(int Channel) const {
    const QString number = QString::number(Channel + 1);
    return App.seq->ChannelMuted[Channel] ? "(" + number + ")" : number;
}

QString TPatternModel::HeaderName(int Channel) const {
    const int ins = FirstInstrumentOfChannel(Channel);
    if (ins < 1 || ins > InstrumentCount) return {};
    return QString::fromStdString(App.seq->InstrumentAt(ins).Name);
}

int TPatternModel::FirstInstrumentOfChannel(int Channel) const {
    const cPattern& p = Pattern();
    for (int r = 0; r < p.RowCount; ++r) {
        const int ins = p.Cell(Channel, r).ins;
        if (ins != 0 && ins != -1) return ins;
    }
    return 0;
}
