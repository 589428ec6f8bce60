#pragma once
// One key of the on-screen piano: a plain coloured panel with a thin outline, so neighbouring
// white keys stay apart. Its mouse presses and releases go to the handlers its owner sets; the
// caption label inside lets the mouse through to the panel.
#include <QColor>
#include <QWidget>

#include <functional>

class TPianoKeyPanel : public QWidget {
    Q_OBJECT
  public:
    using TMouseHandler = std::function<void(TPianoKeyPanel* Sender, Qt::MouseButton Button)>;

    explicit TPianoKeyPanel(QWidget* Parent);

    void SetColor(const QColor& Value);
    QColor GetColor() const { return Color; }
    void SetTag(int Value) { Tag = Value; }
    int GetTag() const { return Tag; }

    TMouseHandler OnMouseDown;
    TMouseHandler OnMouseUp;

  protected:
    void paintEvent(QPaintEvent* Event) override;
    void mousePressEvent(QMouseEvent* Event) override;
    void mouseReleaseEvent(QMouseEvent* Event) override;

  private:
    QColor Color = Qt::white;
    int Tag = 0;
};
