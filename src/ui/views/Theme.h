#pragma once
// The window's colours: Light (the program's own), Dark, or the desktop's (System), and the
// colours the pattern grid paints with in each. Stored in the settings as "Theme".
#include <QColor>
#include <QString>

namespace brindle::ui {

enum class Theme { Light, Dark, System };

struct GridColours {
    QColor Bar;       // every 16th row
    QColor Beat;      // every 4th row
    QColor Row;
    QColor Text;
    QColor Selected;  // the selected cells' background
    QColor SelectedText;
    QColor Header;
    QColor Line;
    QColor Focus;
};

// Applies the theme to the application and remembers it for the grids (and in the settings).
void ApplyTheme(Theme Which);
Theme CurrentTheme();
// The stored theme (Light when none was chosen).
Theme StoredTheme();
QString ThemeName(Theme Which);
const GridColours& CurrentGridColours();

// The grids' zoom, 0.5 to 3 (1: as designed), stored as "GridZoom" in percent.
double StoredGridZoom();
void StoreGridZoom(double Zoom);

} // namespace brindle::ui
