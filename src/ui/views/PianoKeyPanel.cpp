#include "ui/views/PianoKeyPanel.h"

#include <QMouseEvent>
#include <QPainter>

TPianoKeyPanel::TPianoKeyPanel(QWidget* Parent) : QWidget(Parent) {
    // Paints every pixel itself: nothing of the parent's background shows through.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TPianoKeyPanel::SetColor(const QColor& Value) {
    if (Color == Value) return;
    Color = Value;
    update();
}

void TPianoKeyPanel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Color);
    p.setPen(QColor(64, 64, 64));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}

void TPianoKeyPanel::mousePressEvent(QMouseEvent* Event) {
    if (OnMouseDown) OnMouseDown(this, Event->button());
    Event->accept();
}

void TPianoKeyPanel::mouseReleaseEvent(QMouseEvent* Event) {
    if (OnMouseUp) OnMouseUp(this, Event->button());
    Event->accept();
}
