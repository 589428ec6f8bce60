#include "ui/dialogs/SampleCutForm.h"

#include "app/SampleCut.h"
#include "audio/nodes/PlayStream.h"
#include "audio/waveform/WavDataStore.h"
#include "base/Error.h"
#include "ui/views/AudioView.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace fs = std::filesystem;
using namespace brindle::waveform;
namespace sl = brindle::soundlib;

namespace {

std::string lowerExtension(const std::string& Path) {
    std::string ext = fs::path(Path).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return ext;
}

bool sameFile(const std::string& A, const std::string& B) {
    std::error_code error;
    if (fs::exists(A, error) && fs::exists(B, error)) return fs::equivalent(A, B, error);
    return fs::weakly_canonical(A, error) == fs::weakly_canonical(B, error);
}

// The selection's ends move at most this far to meet a zero crossing.
constexpr double SnapSeconds = 0.02;

} // namespace

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
    auto* edits = new QHBoxLayout;
    auto makeButton = [&](QHBoxLayout* Row, const char* Caption, auto Slot) {
        auto* b = new QPushButton(Caption);
        b->setFocusPolicy(Qt::NoFocus); // Space belongs to Play/stop
        connect(b, &QPushButton::clicked, this, Slot);
        Row->addWidget(b);
        return b;
    };
    auto button = [&](const char* Caption, auto Slot) { return makeButton(buttons, Caption, Slot); };
    PlayBtn = button("> Play", [this] { AudioView->PlaySelection(); });
    StopBtn = button("[ ] Stop", [this] { AudioView->Stop(); });
    LoopBtn = button("( ) Loop", [this] { AudioView->LoopSelection(true); });
    InBtn = button("(+)  In", [this] { AudioView->ZoomIn(); });
    OutBtn = button("(-) Out", [this] { AudioView->ZoomOut(); });
    FullBtn = button("|<->| Full", [this] { AudioView->Full(); });
    buttons->addStretch(1);
    SaveBtn = button("Save", [this] { SaveToInstrument(); });
    CancelBtn = button("Cancel", [this] { reject(); });

    // The edits: each on the selection, or on the whole sample when nothing is selected.
    auto editButton = [&](const char* Caption, const char* Tip, auto Slot) {
        auto* b = new QToolButton;
        b->setText(Caption);
        b->setToolTip(Tip);
        b->setFocusPolicy(Qt::NoFocus);
        connect(b, &QToolButton::clicked, this, Slot);
        edits->addWidget(b);
        return b;
    };
    NormalizeBtn = editButton("Normalize...", "Bring the loudest peak to a level (0 dBFS or one you type)",
                              [this] { Normalize(std::nullopt); });
    GainBtn = editButton("Gain...", "Make louder or softer by some dB", [this] { Gain(); });
    FadeInBtn = editButton("Fade In", "Fade in from silence", [this] { Fade(true); });
    FadeOutBtn = editButton("Fade Out", "Fade out to silence", [this] { Fade(false); });
    FadeShapeBox = new QComboBox;
    FadeShapeBox->addItems({"Linear", "Equal power"});
    FadeShapeBox->setToolTip("Shape of the fades");
    FadeShapeBox->setFocusPolicy(Qt::NoFocus);
    edits->addWidget(FadeShapeBox);
    ReverseBtn = editButton("Reverse", "Play backwards", [this] { Reverse(); });
    SilenceBtn = editButton("Silence", "Replace with silence", [this] { Silence(); });
    CropBtn = editButton("Crop", "Keep only the selection", [this] { Crop(); });
    DeleteBtn = editButton("Delete", "Remove the selection", [this] { DeleteSelection(); });
    UndoBtn = editButton("Undo", "Undo the last edit (Ctrl+Z)", [this] { Undo(); });
    RedoBtn = editButton("Redo", "Redo the edit undone (Ctrl+Y)", [this] { Redo(); });
    SnapBox = new QCheckBox("Snap to zero crossings");
    SnapBox->setFocusPolicy(Qt::NoFocus);
    edits->addWidget(SnapBox);
    edits->addStretch(1);

    auto* menu = new QMenuBar;
    auto* file = menu->addMenu("SampleCut");
    file->addAction("Open...", QKeySequence("Ctrl+O"), this, [this] { Open(); });
    file->addAction("Save to Instrument", QKeySequence("Ctrl+S"), this, [this] { SaveToInstrument(); });
    file->addAction("Exit", QKeySequence(Qt::Key_Escape), this, [this] { reject(); });
    auto* edit = menu->addMenu("Edit");
    UndoAct = edit->addAction("Undo", this, [this] { Undo(); });
    UndoAct->setShortcuts({QKeySequence("Ctrl+Z")});
    RedoAct = edit->addAction("Redo", this, [this] { Redo(); });
    RedoAct->setShortcuts({QKeySequence("Ctrl+Y"), QKeySequence("Ctrl+Shift+Z")});
    edit->addSeparator();
    edit->addAction("Select All", QKeySequence("Ctrl+A"), this, [this] { SelectAll(); });
    SnapAct = edit->addAction("Snap to Zero Crossings");
    SnapAct->setCheckable(true);
    connect(SnapAct, &QAction::toggled, SnapBox, &QCheckBox::setChecked);
    connect(SnapBox, &QCheckBox::toggled, SnapAct, &QAction::setChecked);
    edit->addSeparator();
    edit->addAction("Normalize to 0 dBFS", this, [this] { Normalize(0.0); });
    edit->addAction("Normalize to Level...", this, [this] { Normalize(std::nullopt); });
    edit->addAction("Gain...", this, [this] { Gain(); });
    edit->addAction("Fade In", this, [this] { Fade(true); });
    edit->addAction("Fade Out", this, [this] { Fade(false); });
    edit->addAction("Reverse", this, [this] { Reverse(); });
    edit->addAction("Silence", this, [this] { Silence(); });
    edit->addAction("Crop to Selection", this, [this] { Crop(); });
    edit->addAction("Delete Selection", QKeySequence(Qt::Key_Delete), this, [this] { DeleteSelection(); });
    auto* viewMenu = menu->addMenu("View");
    auto* zoomIn = viewMenu->addAction("Zoom In", this, [this] {
        AudioView->ZoomAround(AudioView->EditCursor(), 1 / TMemWavView::WheelZoomStep);
    });
    zoomIn->setShortcuts({QKeySequence("Ctrl++"), QKeySequence("Ctrl+="), QKeySequence(Qt::ControlModifier | Qt::KeypadModifier | Qt::Key_Plus)});
    auto* zoomOut = viewMenu->addAction("Zoom Out", this, [this] {
        AudioView->ZoomAround(AudioView->EditCursor(), TMemWavView::WheelZoomStep);
    });
    zoomOut->setShortcuts({QKeySequence("Ctrl+-"), QKeySequence(Qt::ControlModifier | Qt::KeypadModifier | Qt::Key_Minus)});
    viewMenu->addAction("Whole Sample", QKeySequence("Ctrl+0"), this, [this] { AudioView->Full(); });
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
    layout->addLayout(edits);
    layout->addLayout(buttons);
    resize(std::max(643, sizeHint().width()), 246 + menu->sizeHint().height() + FadeInBtn->sizeHint().height());

    AudioView->OnSelChange = [this](TMemWavView*) { SelectionToZone(); };
    AudioView->OnSelEnd = [this](TMemWavView*) { SelectionEnded(); };
    AudioView->OnMarkerMove = [this](TMarkersWavView*, cMarker* Marker) {
        if (Marker == Zone().BeginMarker || Marker == Zone().EndMarker) ZoneToSelection();
    };
    AudioView->OnMouseClick = [this](TMarkersWavView*) { MouseClicked(); };
    AudioView->OnMarkerMoveEnd = [this](TMarkersWavView*, cMarker* Marker) {
        if (Marker == Zone().BeginMarker || Marker == Zone().EndMarker) SnapSelection();
    };

    AskOpenFileName = [this] {
        return QFileDialog::getOpenFileName(this, "Open", QString(), "MP3, WAV (*.mp3 *.wav);;Any file (*)").toStdString();
    };
    AskSaveFileName = [this] {
        // The source's own format first: that is what keeps its resolution.
        QStringList filters{"WAV (*.wav)", "FLAC (*.flac)", "Ogg Vorbis (*.ogg)", "MP3 (*.mp3)"};
        const int own = SourceFormat.Container == sl::TSampleContainer::Flac  ? 1
                        : SourceFormat.Container == sl::TSampleContainer::Ogg ? 2
                                                                              : 0;
        filters.move(own, 0);
        QFileDialog dialog(this, "Save to Instrument", QString::fromStdString(fs::path(AudioView->GetFileName()).parent_path().string()),
                           filters.join(";;"));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(sl::Extension(SourceFormat.Container));
        return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0).toStdString() : std::string();
    };
    ShowMessage = [this](const std::string& Text) { QMessageBox::information(this, windowTitle(), QString::fromStdString(Text)); };
    AskDecibels = [this](const std::string& Title, double Value, double Min, double Max) -> std::optional<double> {
        bool ok = false;
        const char* label = Title == "Normalize" ? "Peak level (dBFS):" : "Gain (dB):";
        const double v = QInputDialog::getDouble(this, QString::fromStdString(Title), label, Value, Min, Max, 2, &ok);
        return ok ? std::optional<double>(v) : std::nullopt;
    };
    AskDiscardEdits = [this](const std::string& Path) {
        const QString text = QString("Discard the unsaved edits to \"%1\"?").arg(QString::fromStdString(fs::path(Path).filename().string()));
        return QMessageBox::question(this, windowTitle(), text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
    };
    ConfirmReplaceSource = [this](const std::string& Path) {
        const QString text = QString("Replace the source file \"%1\" with the edited sample?").arg(QString::fromStdString(fs::path(Path).filename().string()));
        return QMessageBox::question(this, windowTitle(), text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
    };
    UpdateActions();
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

bool TSampleCutForm::MayDropEdits() {
    const bool edited = AudioView->EditedSound() && Edits.Modified();
    return !edited || (AskDiscardEdits && AskDiscardEdits(AudioView->GetFileName()));
}

void TSampleCutForm::Open() {
    if (!MayDropEdits()) return;
    const std::string path = AskOpenFileName();
    if (!path.empty()) LoadFile(path);
}

bool TSampleCutForm::OpenFile(const std::string& Path) {
    if (!MayDropEdits()) return false;
    return LoadFile(Path);
}

bool TSampleCutForm::LoadFile(const std::string& Path) {
    AudioView->SetSelStart(0);
    AudioView->SetSelLen(0);
    AudioView->Full();
    try {
        AudioView->SetFileName(Path);
    } catch (const std::exception& e) {
        ShowMessage(e.what());
        return false;
    }
    // The sound to edit decodes beside the image; the first edit waits for it if it must.
    AudioView->SetEditedSound(nullptr);
    LoadedPath.clear();
    StartLoading(Path);
    UpdateCaption();
    UpdateActions();
    return true;
}

void TSampleCutForm::SaveToInstrument() {
    const bool edited = AudioView->EditedSound() && Edits.Modified();
    // With nothing selected an edited sample is saved whole; an untouched file has nothing to cut.
    if (AudioView->GetSelLen() == 0 && !edited) {
        ShowMessage("Please make a selection first.");
        return;
    }
    const std::string target = AskSaveFileName();
    if (target.empty()) return;
    if (sameFile(target, AudioView->GetFileName()) && !(ConfirmReplaceSource && ConfirmReplaceSource(target))) return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    try {
        if (!edited && lowerExtension(target) == ".mp3") {
            // Straight from the file through the encoder, as an MP3 always was.
            const auto frames = brindle::SelectionFrames(AudioView->GetSelStart(), AudioView->GetSelLen(),
                                                         AudioView->Store().SourceFrames());
            brindle::SaveSampleCut(AudioView->GetFileName(), frames.First, frames.Count, target);
        } else {
            if (!EnsureSound()) {
                QApplication::restoreOverrideCursor();
                return;
            }
            const TFrameRange range = EditRange(Edits.Buffer(), SelectionFrames());
            WriteTarget(target, range);
        }
    } catch (const std::exception& e) {
        // The old file is as it was; the window stays open for another try.
        QApplication::restoreOverrideCursor();
        ShowMessage(e.what());
        return;
    }
    QApplication::restoreOverrideCursor();
    Edits.SetClean();
    UpdateCaption();
    ResultPath = target;
    accept();
}

void TSampleCutForm::WriteTarget(const std::string& Target, TFrameRange Range) {
    const TSampleBuffer& sound = Edits.Buffer();
    const float* first = sound.Data.data() + Range.First * sound.Channels;
    const std::string ext = lowerExtension(Target);
    if (ext == ".mp3") {
        // The encoder reads files: the edited range goes to it as a WAV of its own.
        QTemporaryDir temp;
        if (!temp.isValid()) throw brindle::Error("Can't write \"" + Target + "\": no room for a temporary file");
        const std::string wav = (fs::path(temp.path().toStdString()) / "edited.wav").string();
        sl::WriteSampleFile(wav, first, Range.Count, sound.Channels, sound.Rate, {});
        brindle::SaveSampleCut(wav, 0, Range.Count, Target);
        return;
    }
    sl::TSampleFormat format = SourceFormat;
    if (ext == ".wav") format.Container = sl::TSampleContainer::Wav;
    else if (ext == ".flac") format.Container = sl::TSampleContainer::Flac;
    else if (ext == ".ogg" || ext == ".oga") format.Container = sl::TSampleContainer::Ogg;
    sl::WriteSampleFile(Target, first, Range.Count, sound.Channels, sound.Rate, format);
}

// ---- the sound in memory ----

void TSampleCutForm::StartLoading(const std::string& Path) {
    if (Loading.valid()) Loading.wait();
    LoadingPath = Path;
    Loading = std::async(std::launch::async, [Path] {
        TLoaded loaded{LoadSampleBuffer(Path), {}};
        // Memory for the first edit's undo record, touched here rather than during the edit:
        // on a long sound the page faults would be most of the edit's time.
        // Up to about twelve minutes of stereo: beyond that the memory is better left free.
        constexpr std::size_t MaxSpareFloats = std::size_t(64) << 20;
        if (loaded.Sound.Data.size() <= MaxSpareFloats) loaded.Spare.assign(loaded.Sound.Data.size(), 0.0f);
        return loaded;
    });
}

bool TSampleCutForm::EnsureSound() {
    const std::string& file = AudioView->GetFileName();
    if (file.empty()) return false;
    if (LoadedPath == file) return true;
    if (!Loading.valid() || LoadingPath != file) StartLoading(file);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    try {
        TLoaded loaded = Loading.get();
        if (loaded.Sound.Frames() == 0) throw brindle::Error("\"" + file + "\" holds no sound to edit.");
        Edits.Load(std::move(loaded.Sound));
        Edits.AddSpare(std::move(loaded.Spare));
        SourceFormat = sl::ProbeSampleFormat(file);
        LoadedPath = file;
    } catch (const std::exception& e) {
        QApplication::restoreOverrideCursor();
        ShowMessage(e.what());
        return false;
    }
    QApplication::restoreOverrideCursor();
    if (AudioView->EditedSound() == &Edits.Buffer()) AudioView->SoundChanged();
    UpdateActions();
    return true;
}

const TSampleBuffer* TSampleCutForm::Sound() { return EnsureSound() ? &Edits.Buffer() : nullptr; }

TFrameRange TSampleCutForm::SelectionFrames() {
    if (!EnsureSound()) return {};
    const auto f = brindle::SelectionFrames(AudioView->GetSelStart(), AudioView->GetSelLen(), Edits.Buffer().Frames());
    return {f.First, f.Count};
}

void TSampleCutForm::SelectFrames(TFrameRange Range) {
    const double total = double(std::max<std::int64_t>(Edits.Buffer().Frames(), 1));
    AudioView->SetSelStart(double(Range.First) / total);
    AudioView->SetSelLen(double(Range.Count) / total);
    AudioView->Redraw();
}

// ---- edits ----

bool TSampleCutForm::Apply(TEdit Edit) {
    if (!EnsureSound()) return false;
    const bool cuts = Edit.Kind == TEditKind::Crop || Edit.Kind == TEditKind::Delete;
    Edit.Range = SelectionFrames();
    if (cuts && Edit.Range.Count == 0) {
        ShowMessage("Please make a selection first.");
        return false;
    }
    if (Edit.Kind == TEditKind::Delete && Edit.Range.Count >= Edits.Buffer().Frames()) {
        ShowMessage("The whole sample can't be deleted.");
        return false;
    }
    Edit.Range = EditRange(Edits.Buffer(), Edit.Range);
    if (!Edits.Apply(Edit)) {
        if (Edit.Kind == TEditKind::Normalize) ShowMessage("The selection is silent; there is nothing to normalize.");
        return false;
    }
    Changed(Edit, false);
    return true;
}

void TSampleCutForm::Changed(const TEdit& Edit, bool Undone) {
    const bool cuts = Edit.Kind == TEditKind::Crop || Edit.Kind == TEditKind::Delete;
    if (AudioView->EditedSound() != &Edits.Buffer()) AudioView->SetEditedSound(&Edits.Buffer());
    else AudioView->SoundChanged(cuts ? TFrameRange{} : Edit.Range);
    // The selection shows where the edit was; an edit of the whole sample leaves it as it is.
    const bool whole = Edit.Range.First == 0 && Edit.Range.Count == Edits.Buffer().Frames();
    if (!Undone && Edit.Kind == TEditKind::Crop) {
        SelectFrames({0, 0});
        AudioView->Full();
    } else if (!Undone && Edit.Kind == TEditKind::Delete) {
        SelectFrames({Edit.Range.First, 0});
    } else if (!whole) {
        SelectFrames(Edit.Range);
    } else {
        AudioView->Redraw();
    }
    UpdateCaption();
    UpdateActions();
}

void TSampleCutForm::Normalize(std::optional<double> Db) {
    if (!Db) {
        Db = AskDecibels ? AskDecibels("Normalize", LastNormalizeDb, -96.0, 0.0) : std::nullopt;
        if (!Db) return;
        LastNormalizeDb = *Db;
    }
    Apply({TEditKind::Normalize, {}, *Db});
}

void TSampleCutForm::Gain() {
    const auto db = AskDecibels ? AskDecibels("Gain", LastGainDb, -96.0, 48.0) : std::nullopt;
    if (!db) return;
    LastGainDb = *db;
    Apply({TEditKind::Gain, {}, *db});
}

void TSampleCutForm::Fade(bool In) {
    const TFadeShape shape = FadeShapeBox->currentIndex() == 1 ? TFadeShape::EqualPower : TFadeShape::Linear;
    Apply({In ? TEditKind::FadeIn : TEditKind::FadeOut, {}, 0, shape});
}

void TSampleCutForm::Reverse() { Apply({TEditKind::Reverse, {}}); }
void TSampleCutForm::Silence() { Apply({TEditKind::Silence, {}}); }
void TSampleCutForm::Crop() { Apply({TEditKind::Crop, {}}); }
void TSampleCutForm::DeleteSelection() { Apply({TEditKind::Delete, {}}); }

void TSampleCutForm::Undo() {
    if (LoadedPath != AudioView->GetFileName()) return;
    if (const TEdit* edit = Edits.Undo()) Changed(TEdit(*edit), true);
}

void TSampleCutForm::Redo() {
    if (LoadedPath != AudioView->GetFileName()) return;
    if (const TEdit* edit = Edits.Redo()) Changed(TEdit(*edit), false);
}

void TSampleCutForm::SelectAll() {
    if (AudioView->GetFileName().empty()) return;
    AudioView->SetSelStart(0);
    AudioView->SetSelLen(1);
    AudioView->Redraw();
}

void TSampleCutForm::SnapSelection() {
    if (!SnapAct->isChecked() || AudioView->RawSelLen() == 0 || !EnsureSound()) return;
    const TSampleBuffer& sound = Edits.Buffer();
    const TFrameRange r = SelectionFrames();
    const auto radius = std::int64_t(SnapSeconds * sound.Rate);
    const std::int64_t first = NearestZeroCrossing(sound, r.First, radius);
    // The end is a boundary: the first frame after the selection sits at the crossing.
    const std::int64_t end = r.End() >= sound.Frames() ? r.End() : NearestZeroCrossing(sound, r.End(), radius);
    if (end > first) SelectFrames({first, end - first});
}

void TSampleCutForm::UpdateCaption() {
    const std::string& file = AudioView->GetFileName();
    if (file.empty()) return;
    const bool modified = LoadedPath == file && AudioView->EditedSound() && Edits.Modified();
    setWindowTitle(QString::fromStdString(fs::path(file).filename().string() + (modified ? " *" : "")));
}

void TSampleCutForm::UpdateActions() {
    const bool current = !LoadedPath.empty() && LoadedPath == AudioView->GetFileName();
    UndoAct->setEnabled(current && Edits.CanUndo());
    RedoAct->setEnabled(current && Edits.CanRedo());
    UndoBtn->setEnabled(UndoAct->isEnabled());
    RedoBtn->setEnabled(RedoAct->isEnabled());
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
        AudioView->PlayingStream().SetPlayPosition(float(click));
        AudioView->SetSelStart(begin);
        AudioView->SetSelLen(end - begin);
        AudioView->LoopSelection(false);
        Following = false;
        return;
    }
    SelectionToZone();
    AudioView->Redraw();
    SnapSelection();
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
