#include "ui/dialogs/SampleCutForm.h"

#include "app/SampleCut.h"
#include "audio/nodes/PlayStream.h"
#include "audio/waveform/WavDataStore.h"
#include "ui/views/AudioView.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

#include <filesystem>

namespace fs = std::filesystem;

TSampleCutForm::TSampleCutForm(QWidget* Parent) : QDialog(Parent) {
    setObjectName("SampleCutForm");
    setWindowTitle("Sample");
    AudioView = new TAudioView;
    AudioView->setObjectName("AudioView");
    AudioView->TimeLineShow = true;
    AudioView->TimeLineDist = 50;
    AudioView->FontColor = Qt::white;
    ScrollBar1 = new QScrollBar(Qt::Horizontal);
    AudioView->ConnectScrollbar(ScrollBar1);
    // Zone 0: the cut, with the play marker the view has three markers.
    AudioView->AddZone("", 0, 0);
    Zone().BeginMarker->LabelText.assign(1, '>');
    Zone().EndMarker->LabelText.assign(1, '<');

    auto* buttons = new QHBoxLayout;
    auto button = [&](const char* Caption, auto Slot) {
        auto* b = new QPushButton(Caption);
        b->setFocusPolicy(Qt::NoFocus); // Space belongs to Play/stop
        connect(b, &QPushButton::clicked, this, Slot);
        buttons->addWidget(b);
        return b;
    };
    PlayBtn = button("> Play", [this] { AudioView->PlaySelection(); });
    StopBtn = button("[ ] Stop", [this] { AudioView->Stop(); });
    LoopBtn = button("( ) Loop", [this] { AudioView->LoopSelection(true); });
    InBtn = button("(+)  In", [this] { AudioView->ZoomIn(); });
    OutBtn = button("(-) Out", [this] { AudioView->ZoomOut(); });
    FullBtn = button("|<->| Full", [this] { AudioView->Full(); });
    buttons->addStretch(1);
    SaveBtn = button("Save", [this] { SaveToInstrument(); });
    CancelBtn = button("Cancel", [this] { reject(); });

    auto* menu = new QMenuBar;
    auto* file = menu->addMenu("SampleCut");
    file->addAction("Open...", QKeySequence("Ctrl+O"), this, [this] { Open(); });
    file->addAction("Save to Instrument", QKeySequence("Ctrl+S"), this, [this] { SaveToInstrument(); });
    file->addAction("Exit", QKeySequence(Qt::Key_Escape), this, [this] { reject(); });
    auto* control = menu->addMenu("Control");
    control->addAction("Play/stop", QKeySequence(Qt::Key_Space), this, [this] { PlayStop(); });
    // The keypad's plus and minus zoom (and the main keyboard's, where a layout has them unshifted).
    for (auto [key, zoom] : {std::pair{Qt::Key_Plus, true}, std::pair{Qt::Key_Minus, false}}) {
        auto* action = new QAction(this);
        action->setShortcuts({QKeySequence(Qt::KeypadModifier | key), QKeySequence(key)});
        connect(action, &QAction::triggered, this, [this, zoom = zoom] { zoom ? AudioView->ZoomIn() : AudioView->ZoomOut(); });
        addAction(action);
    }

    auto* layout = new QVBoxLayout(this);
    layout->setMenuBar(menu);
    layout->addWidget(AudioView, 1);
    layout->addWidget(ScrollBar1);
    layout->addLayout(buttons);
    resize(643, 246 + menu->sizeHint().height());

    AudioView->OnSelChange = [this](TMemWavView*) { SelectionToZone(); };
    AudioView->OnSelEnd = [this](TMemWavView*) { SelectionEnded(); };
    AudioView->OnMarkerMove = [this](TMarkersWavView*, cMarker* Marker) {
        if (Marker == Zone().BeginMarker || Marker == Zone().EndMarker) ZoneToSelection();
    };
    AudioView->OnMouseClick = [this](TMarkersWavView*) { MouseClicked(); };

    AskOpenFileName = [this] {
        return QFileDialog::getOpenFileName(this, "Open", QString(), "MP3, WAV (*.mp3 *.wav);;Any file (*)").toStdString();
    };
    AskSaveFileName = [this] {
        QFileDialog dialog(this, "Save to Instrument", QString(), "MP3 (*.mp3);;WAV (*.wav)");
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix("mp3");
        return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0).toStdString() : std::string();
    };
    ShowMessage = [this](const std::string& Text) { QMessageBox::information(this, windowTitle(), QString::fromStdString(Text)); };
}

TSampleCutForm::~TSampleCutForm() = default;

cZone& TSampleCutForm::Zone() const { return *AudioView->Zones.Item(0); }

void TSampleCutForm::showEvent(QShowEvent* Event) {
    QDialog::showEvent(Event);
    AudioView->Redraw();
}

void TSampleCutForm::done(int Result) {
    AudioView->Stop();
    QDialog::done(Result);
}

// ---- files ----

void TSampleCutForm::Open() {
    const std::string path = AskOpenFileName();
    if (!path.empty()) OpenFile(path);
}

bool TSampleCutForm::OpenFile(const std::string& Path) {
    AudioView->SetSelStart(0);
    AudioView->SetSelLen(0);
    AudioView->Full();
    try {
        AudioView->SetFileName(Path);
    } catch (const std::exception& e) {
        ShowMessage(e.what());
        return false;
    }
    setWindowTitle(QString::fromStdString(fs::path(Path).filename().string()));
    return true;
}

void TSampleCutForm::SaveToInstrument() {
    if (AudioView->GetSelLen() == 0) {
        ShowMessage("Please make a selection first.");
        return;
    }
    const std::string target = AskSaveFileName();
    if (target.empty()) return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    try {
        const auto frames = brindle::SelectionFrames(AudioView->GetSelStart(), AudioView->GetSelLen(),
                                                     AudioView->Store().SourceFrames());
        brindle::SaveSampleCut(AudioView->GetFileName(), frames.First, frames.Count, target);
    } catch (const std::exception& e) {
        // The old file is as it was; the window stays open for another try.
        QApplication::restoreOverrideCursor();
        ShowMessage(e.what());
        return;
    }
    QApplication::restoreOverrideCursor();
    ResultPath = target;
    accept();
}

// ---- playback ----

void TSampleCutForm::PlayStop() {
    if (AudioView->Playing()) AudioView->Stop();
    else if (AudioView->GetSelLen() == 0) AudioView->PlaySelection();
    else AudioView->LoopSelection(true);
}

// ---- zone and selection ----

void TSampleCutForm::SelectionToZone() {
    if (Following) return;
    Zone().BeginMarker->MarkerPos = AudioView->RawSelStart();
    Zone().EndMarker->MarkerPos = AudioView->RawSelStart() + AudioView->RawSelLen();
}

void TSampleCutForm::ZoneToSelection() {
    Following = true;
    AudioView->SetSelStart(Zone().BeginMarker->MarkerPos);
    AudioView->SetSelLen(Zone().EndMarker->MarkerPos - Zone().BeginMarker->MarkerPos);
    Following = false;
}

void TSampleCutForm::SelectionEnded() {
    const double begin = Zone().BeginMarker->MarkerPos, end = Zone().EndMarker->MarkerPos;
    const double click = AudioView->RawSelStart();
    if (AudioView->RawSelLen() == 0 && end - begin > 0 && click > begin && click < end) {
        // A click inside the cut loops it from the click.
        Following = true;
        AudioView->Stream().SetPlayPosition(float(click));
        AudioView->SetSelStart(begin);
        AudioView->SetSelLen(end - begin);
        AudioView->LoopSelection(false);
        Following = false;
        return;
    }
    SelectionToZone();
    AudioView->Redraw();
}

void TSampleCutForm::MouseClicked() {
    if (AudioView->ClickButton != Qt::LeftButton || !AudioView->ClickReleased || !AudioView->Playing()) return;
    TPlayStream& stream = AudioView->Stream();
    const double pos = stream.GetPos();
    const double start = AudioView->GetSelStart(), end = AudioView->GetSelEnd();
    if (stream.GetLooping()) {
        if (AudioView->GetSelLen() == 0) {
            AudioView->Play(pos);
            return;
        }
        if (pos > end || pos < start) stream.SetPlayPosition(float(start));
    } else if (!(pos > start && pos < end)) {
        return;
    }
    AudioView->LoopSelection(false);
}
