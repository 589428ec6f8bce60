#pragma once
// The pattern grid's model: the active pattern's rows (RowCount) by the 99 channels that have a
// column. The grid paints from the song itself; the model gives the shape and the texts, so the
// painting, the tests and the headers share one definition of what a cell shows.
#include "song/Step.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QString>

class cApp;
struct cPattern;

constexpr int GridChannelCount = 99; // the hundredth channel plays but has no column

class TPatternModel : public QAbstractTableModel {
    Q_OBJECT

public:
    explicit TPatternModel(cApp& App, QObject* Parent = nullptr);

    int rowCount(const QModelIndex& Parent = {}) const override;
    int columnCount(const QModelIndex& Parent = {}) const override;
    QVariant data(const QModelIndex& Index, int Role = Qt::DisplayRole) const override;
    QVariant headerData(int Section, Qt::Orientation Orientation, int Role = Qt::DisplayRole) const override;

    // The active pattern's length (or another pattern) was changed: the grid takes the new shape.
    void Reshape();
    const cPattern& Pattern() const;

    // "===" for a stop marker, "pitch - ins" with the pitch truncated toward zero, nothing for 0.
    static QString CellText(cStep Cell);
    // Background of a pattern row: dark every 16th row, light every 4th (a beat), else white.
    static QColor RowColour(int PatternRow);
    // Header lines of a channel: its number ("(n)" when muted) and the name of its first instrument.
    QString HeaderNumber(int Channel) const;
    QString HeaderName(int Channel) const;
    // The instrument of the channel's first note in the active pattern, or 0 when it has none.
    int FirstInstrumentOfChannel(int Channel) const;

private:
    cApp& App;
    int Rows;
};
