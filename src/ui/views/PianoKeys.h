#pragma once
// A row of piano keys built from panels: key i plays pitch i − 12, so 32 keys span the same
// −12 … 19 as the computer keyboard. Black keys are two thirds high and sit centred on the
// boundary of the white keys beside them. A left press on a key colours it and raises
// OnNoteDown; the release raises OnNoteUp. NoteKey names the key for the handlers.
#include <QColor>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

class QLabel;
class TPianoKeyPanel;

class TPianoKeys : public QWidget {
    Q_OBJECT
  public:
    static constexpr int MaxKeys = 120;
    // What the main window captions its 32 keys with: the computer key that plays each.
    static inline const QString KeyCaptions = QStringLiteral("zsxdcvgbhnjmq2w3er5t6y7ui9o0p[=]");
    static inline const QColor DownColor = QColor(128, 128, 128);
    using TNoteEvent = std::function<void(TPianoKeys* Sender)>;

    explicit TPianoKeys(QWidget* Parent = nullptr);
    ~TPianoKeys() override;

    // Width and height take effect at the next SetCount.
    void SetKeyWidth(int Value) { KeyWidth = Value; }
    int GetKeyWidth() const { return KeyWidth; }
    void SetKeyHeight(int Value) { KeyHeight = Value; }
    int GetKeyHeight() const { return KeyHeight; }
    // Rebuilds every key; captions set before are lost.
    void SetCount(int N);
    int GetCount() const { return Count; }
    TNoteEvent OnNoteDown;
    TNoteEvent OnNoteUp;

    // The keys, in order, and the caption label inside each.
    std::vector<TPianoKeyPanel*> Panels;
    std::vector<QLabel*> Labels;
    // The key of the last OnNoteDown or OnNoteUp.
    int NoteKey = 0;
    bool MouseHeld = false;
    int HeldKey = 0;

    void CreatePanels();
    void NotePress(int I) { KeyPressed(I, true); }
    void NoteRelease(int I) { KeyPressed(I, false); }
    void KeyPressed(int I, bool Down);
    // One character of Captions per key, from the first key on.
    void SetCaptions(const QString& Captions);
    static bool IsBlackKey(int I);

    // The keys' mouse handlers.
    void KeyMouseDown(TPianoKeyPanel* Sender, Qt::MouseButton Button);
    void KeyMouseUp(TPianoKeyPanel* Sender, Qt::MouseButton Button);

    QSize sizeHint() const override;

  private:
    void DestroyPanels();

    int KeyWidth = 18;
    int KeyHeight = 50;
    int Count = 0;
    std::vector<std::unique_ptr<TPianoKeyPanel>> Owned;
};
