#pragma once
// The window's key preview, installed on the application: every key reaches the note keyboard
// once, where it is delivered first, unless it is text typed into a field or a command with
// Ctrl, Alt or Meta. Space plays and stops everywhere except in the browser, where it assigns
// the file under the cursor.
#include <QObject>

#include <functional>
#include <vector>

class QKeyEvent;
class QWidget;
class TLiveNotes;

class TWindowKeys : public QObject {
    Q_OBJECT

  public:
    TWindowKeys(QWidget& Window, TLiveNotes& Notes, QWidget& Browser);
    ~TWindowKeys() override;

    // Fields where Space is no text: the window's play key still runs there.
    std::vector<QWidget*> SpaceFields;
    std::function<void()> AssignFromBrowser;
    // Escape under the "ide" switch.
    std::function<void()> CloseRequested;

  protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override;

  private:
    bool PreviewKey(QKeyEvent* Event);

    QWidget& Window;
    TLiveNotes& Notes;
    QWidget& Browser;
};
