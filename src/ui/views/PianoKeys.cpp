#include "ui/views/PianoKeys.h"

#include "ui/views/PianoKeyPanel.h"

#include <QFontMetrics>
#include <QLabel>

#include <algorithm>

TPianoKeys::TPianoKeys(QWidget* Parent) : QWidget(Parent) {}

TPianoKeys::~TPianoKeys() {
    DestroyPanels();
}

bool TPianoKeys::IsBlackKey(int I) {
    switch (I % 12) {
    case 1:
    case 3:
    case 6:
    case 8:
    case 10:
        return true;
    default:
        return false;
    }
}

void TPianoKeys::DestroyPanels() {
    Panels.clear();
    Labels.clear();
    Owned.clear(); // each panel takes its label with it
}

void TPianoKeys::SetCount(int N) {
    DestroyPanels();
    Count = std::clamp(N, 0, MaxKeys);
    CreatePanels();
    updateGeometry();
}

void TPianoKeys::CreatePanels() {
    const QFontMetrics metrics(font());
    const int starHeight = metrics.height();
    const int starWidth = metrics.horizontalAdvance(QLatin1Char('*'));
    int x = 0;
    for (int i = 0; i < Count; ++i) {
        auto panel = std::make_unique<TPianoKeyPanel>(this);
        auto* label = new QLabel(panel.get());                 // owned by its panel
        label->setAttribute(Qt::WA_TransparentForMouseEvents); // the panel takes the label's clicks
        QPalette palette = label->palette();
        int height = KeyHeight;
        if (IsBlackKey(i)) {
            panel->SetColor(Qt::black);
            palette.setColor(QPalette::WindowText, Qt::white);
            height = KeyHeight * 2 / 3;
            panel->setGeometry(x - KeyWidth / 2, 0, KeyWidth, height);
        } else {
            panel->SetColor(Qt::white);
            palette.setColor(QPalette::WindowText, Qt::black);
            panel->setGeometry(x, 0, KeyWidth, height);
            panel->lower();
            x += KeyWidth;
        }
        label->setPalette(palette);
        // A one-character caption sits centred at the bottom of the key.
        const int left = KeyWidth / 2 - starWidth / 2;
        label->setGeometry(left, height - starHeight - 4, std::max(KeyWidth - left, 1), starHeight);
        panel->SetTag(i);
        panel->OnMouseDown = [this](TPianoKeyPanel* sender, Qt::MouseButton button) {
            KeyMouseDown(sender, button);
        };
        panel->OnMouseUp = [this](TPianoKeyPanel* sender, Qt::MouseButton button) {
            KeyMouseUp(sender, button);
        };
        panel->show();
        Panels.push_back(panel.get());
        Labels.push_back(label);
        Owned.push_back(std::move(panel));
    }
}

void TPianoKeys::KeyPressed(int I, bool Down) {
    if (I < 0 || I >= Count) return;
    if (Down)
        Panels[size_t(I)]->SetColor(DownColor);
    else
        Panels[size_t(I)]->SetColor(IsBlackKey(I) ? QColor(Qt::black) : QColor(Qt::white));
}

void TPianoKeys::SetCaptions(const QString& Captions) {
    const int n = std::min<int>(Count, int(Captions.size()));
    for (int i = 0; i < n; ++i)
        Labels[size_t(i)]->setText(Captions.mid(i, 1));
}

void TPianoKeys::KeyMouseDown(TPianoKeyPanel* Sender, Qt::MouseButton Button) {
    if (Button != Qt::LeftButton) return;
    const int i = Sender->GetTag();
    KeyPressed(i, true);
    if (OnNoteDown) {
        NoteKey = i;
        OnNoteDown(this);
    }
    MouseHeld = true;
    HeldKey = i;
}

void TPianoKeys::KeyMouseUp(TPianoKeyPanel* Sender, Qt::MouseButton Button) {
    if (Button != Qt::LeftButton) return;
    const int i = Sender->GetTag();
    KeyPressed(i, false);
    if (OnNoteUp) {
        NoteKey = i;
        OnNoteUp(this);
    }
    MouseHeld = false;
}

QSize TPianoKeys::sizeHint() const {
    int whites = 0;
    for (int i = 0; i < Count; ++i)
        whites += IsBlackKey(i) ? 0 : 1;
    return {whites * KeyWidth, KeyHeight};
}
