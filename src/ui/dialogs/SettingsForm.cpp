#include "ui/dialogs/SettingsForm.h"

#include "audio/output/DeviceList.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

TSettingsForm::TSettingsForm(QWidget* Parent) : QDialog(Parent) {
    setWindowTitle("Audio Settings");
    Label1 = new QLabel("Sound Device:", this);
    DeviceList1 = new QListWidget(this);
    DeviceList1->setSelectionMode(QAbstractItemView::SingleSelection);
    DeviceList1->setMinimumHeight(DeviceList1->fontMetrics().lineSpacing() * 8);
    lbBuffer = new QLabel("Buffer:", this);
    ScrollBar1 = new QScrollBar(Qt::Horizontal, this);
    ScrollBar1->setRange(cAudioSettings::MinBuffer, cAudioSettings::MaxBuffer);
    ScrollBar1->setValue(cAudioSettings::MinBuffer);
    Label2 = new QLabel("External Editor:", this);
    EditorEdit = new QLineEdit(this);
    EditorEdit->setPlaceholderText("the desktop's default application");
    Button1 = new QPushButton("...", this);
    Button1->setAutoDefault(false);
    cbAS = new QCheckBox("Autosave every 1 minute", this);
    cbDither = new QCheckBox("Dither exports to 16 bits", this);
    lbStretch = new QLabel("Stretch quality:", this);
    cbStretch = new QComboBox(this);
    cbStretch->addItems({"Standard", "Best"});
    cbStretch->setToolTip("Best prepares stretched and transposed notes with a finer, slower stretcher");
    OKBtn = new QPushButton("OK", this);
    OKBtn->setDefault(true);
    CancelBtn = new QPushButton("Cancel", this);
    CancelBtn->setAutoDefault(false);

    auto* EditorRow = new QHBoxLayout;
    EditorRow->addWidget(EditorEdit, 1);
    EditorRow->addWidget(Button1);
    auto* Buttons = new QHBoxLayout;
    Buttons->addStretch();
    Buttons->addWidget(OKBtn);
    Buttons->addWidget(CancelBtn);
    auto* Layout = new QVBoxLayout(this);
    Layout->addWidget(Label1);
    Layout->addWidget(DeviceList1);
    Layout->addWidget(lbBuffer);
    Layout->addWidget(ScrollBar1);
    Layout->addWidget(Label2);
    Layout->addLayout(EditorRow);
    Layout->addWidget(cbAS);
    Layout->addWidget(cbDither);
    auto* StretchRow = new QHBoxLayout;
    StretchRow->addWidget(lbStretch);
    StretchRow->addWidget(cbStretch, 1);
    Layout->addLayout(StretchRow);
    Layout->addLayout(Buttons);
    Layout->setSizeConstraint(QLayout::SetFixedSize);
    setMinimumWidth(360);

    connect(ScrollBar1, &QScrollBar::valueChanged, this,
            [this](int Position) { ScrollBar1Change(Position); });
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
}

void TSettingsForm::ScrollBar1Change(int Position) {
    lbBuffer->setText("Buffer (" + QString::number(Position) + " ms)");
}

void TSettingsForm::Fill(const std::vector<std::string>& DeviceNames, int SoundDevice, int Buffer,
                         const std::string& ExternEdit, bool Autosave) {
    DeviceList1->clear();
    for (const auto& Name : DeviceNames)
        DeviceList1->addItem(QString::fromStdString(Name));
    const bool Listed = SoundDevice >= 0 && SoundDevice < DeviceList1->count();
    DeviceList1->setCurrentRow(Listed ? SoundDevice : 0);
    ScrollBar1->setValue(Buffer); // the scroll bar keeps it inside its range
    // The label follows the position even when setting it changed nothing.
    ScrollBar1Change(ScrollBar1->value());
    EditorEdit->setText(QString::fromStdString(ExternEdit));
    cbAS->setChecked(Autosave);
}

void TSettingsForm::Fill(const std::vector<std::string>& DeviceNames, const cAudioSettings& Settings) {
    Fill(DeviceNames, Settings.SoundDevice, Settings.Buffer, Settings.ExternEdit, Settings.Autosave);
    cbDither->setChecked(Settings.Dither);
    cbStretch->setCurrentIndex(Settings.StretchQuality == brindle::soundlib::StretchQuality::Best ? 1 : 0);
}

int TSettingsForm::GetSoundDevice() const {
    return std::max(0, DeviceList1->currentRow());
}
int TSettingsForm::GetBuffer() const {
    return ScrollBar1->value();
}
std::string TSettingsForm::GetExternEdit() const {
    return EditorEdit->text().trimmed().toStdString();
}
bool TSettingsForm::GetAutosave() const {
    return cbAS->isChecked();
}
brindle::soundlib::StretchQuality TSettingsForm::GetStretchQuality() const {
    return cbStretch->currentIndex() == 1 ? brindle::soundlib::StretchQuality::Best
                                          : brindle::soundlib::StretchQuality::Standard;
}

cAudioSettings TSettingsForm::GetSettings() const {
    cAudioSettings Settings;
    Settings.SoundDevice = GetSoundDevice();
    Settings.Buffer = GetBuffer();
    Settings.ExternEdit = GetExternEdit();
    Settings.Autosave = GetAutosave();
    Settings.Dither = cbDither->isChecked();
    Settings.StretchQuality = GetStretchQuality();
    return Settings;
}

void TSettingsForm::Button1Click() {
    const QString Current = EditorEdit->text().trimmed();
    QFileDialog Dialog(this, "External Editor",
                       Current.isEmpty() ? QDir::homePath() : QFileInfo(Current).path());
    Dialog.setFileMode(QFileDialog::ExistingFile);
    if (Dialog.exec() == QDialog::Accepted && !Dialog.selectedFiles().isEmpty())
        EditorEdit->setText(Dialog.selectedFiles().first());
    accept();
}

std::vector<std::string> TSettingsForm::DeviceNames() {
    TDeviceList Devices;
    Devices.GetDeviceNames();
    return Devices.GetItems();
}

bool TSettingsForm::RunAndStore() {
    return RunAndStore(DeviceNames());
}

bool TSettingsForm::RunAndStore(const std::vector<std::string>& DeviceNames) {
    Fill(DeviceNames, cAudioSettings::Read());
    if (exec() != QDialog::Accepted) return false;
    GetSettings().Write();
    return true;
}
