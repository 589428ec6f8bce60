// The least a Qt Widgets program can do before its window is mapped: an application and one
// widget that paints a grid of numbered rows, the size of the main window. The start-up script
// times it beside Brindle and the peers, as the toolkit's own floor on the same machine.
#include <QApplication>
#include <QPainter>
#include <QWidget>

namespace {

class TFloorGrid : public QWidget {
protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        for (int y = 0, row = 0; y < height(); y += 16, ++row) {
            painter.drawLine(0, y, width(), y);
            painter.drawText(4, y + 13, QString::number(row));
        }
    }
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    TFloorGrid grid;
    grid.resize(1000, 640);
    grid.show();
    return app.exec();
}
