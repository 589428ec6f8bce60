#include "ui/views/Theme.h"

#include "base/RegString.h"

#include <QApplication>
#include <QPalette>
#include <QStyle>
#include <QStyleFactory>

#include <algorithm>
#include <cmath>
#include <string>

namespace brindle::ui {

namespace {

Theme Current = Theme::Light;

const GridColours LightGrid{{170, 170, 170}, {204, 204, 204}, Qt::white,       Qt::black,       Qt::black,
                            Qt::white,       Qt::white,       {128, 128, 128}, Qt::white};
const GridColours DarkGrid{{70, 74, 82},    {52, 55, 61},    {36, 38, 43},    {222, 222, 222}, {240, 240, 240},
                           {20, 20, 20},    {45, 48, 54},    {90, 90, 90},    {20, 20, 20}};

QPalette darkPalette() {
    QPalette p;
    const QColor window(45, 48, 54), base(36, 38, 43), text(222, 222, 222), disabled(120, 120, 120);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, window);
    p.setColor(QPalette::ToolTipBase, base);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, window);
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::BrightText, Qt::red);
    p.setColor(QPalette::Highlight, QColor(64, 120, 200));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Link, QColor(110, 160, 230));
    p.setColor(QPalette::Light, QColor(70, 74, 82));
    p.setColor(QPalette::Midlight, QColor(60, 63, 70));
    p.setColor(QPalette::Mid, QColor(35, 37, 41));
    p.setColor(QPalette::Dark, QColor(25, 26, 29));
    p.setColor(QPalette::Shadow, Qt::black);
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, disabled);
    return p;
}

// The desktop's palette and style, as the program found them before changing anything.
const QPalette& systemPalette() {
    static const QPalette palette = QApplication::palette();
    return palette;
}
const QString& systemStyle() {
    static const QString name = QApplication::style()->name();
    return name;
}

} // namespace

void ApplyTheme(Theme Which) {
    systemPalette();
    systemStyle();
    Current = Which;
    if (Which == Theme::Dark) {
        // Fusion paints every control from the palette, so the dark colours reach them all.
        QApplication::setStyle(QStyleFactory::create("Fusion"));
        QApplication::setPalette(darkPalette());
    } else {
        QApplication::setStyle(QStyleFactory::create(systemStyle()));
        QApplication::setPalette(Which == Theme::System ? systemPalette() : QApplication::style()->standardPalette());
    }
    TRegString("Theme", "").Set(ThemeName(Which).toStdString());
}

Theme CurrentTheme() { return Current; }

Theme StoredTheme() {
    const std::string name = TRegString("Theme", "").Get();
    if (name == "Dark") return Theme::Dark;
    if (name == "System") return Theme::System;
    return Theme::Light;
}

QString ThemeName(Theme Which) {
    return Which == Theme::Dark ? "Dark" : Which == Theme::System ? "System" : "Light";
}

const GridColours& CurrentGridColours() {
    if (Current == Theme::Dark) return DarkGrid;
    if (Current == Theme::System && systemPalette().color(QPalette::Base).lightness() < 128) return DarkGrid;
    return LightGrid;
}

// Stored in whole percent: no decimal separator to depend on the locale.
double StoredGridZoom() {
    const int percent = TRegString("GridZoom", "100").AsInt();
    return percent > 0 ? std::clamp(percent / 100.0, 0.5, 3.0) : 1.0;
}

void StoreGridZoom(double Zoom) { TRegString("GridZoom", "100").SetInt(int(std::lround(std::clamp(Zoom, 0.5, 3.0) * 100))); }

} // namespace brindle::ui
