#include "ui/views/AudioView.h"

#include "audio/nodes/PlayStream.h"
#include "audio/waveform/SampleEdit.h"
#include "audio/waveform/WavDataStore.h"

#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cmath>

namespace {

std::string lowerCase(std::string Text) {
    std::transform(Text.begin(), Text.end(), Text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return Text;
}

template <typename T> bool ready(const std::future<T>& F) {
    return F.valid() && F.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

// Frames read around a deep-zoomed view, so small scrolls need no new read.
constexpr std::int64_t MaxDetailFrames = 1 << 20;

} // namespace

TAudioView::TAudioView(QWidget* Parent)
    : TMarkersWavView(Parent), RefreshTimer(new QTimer(this)), WavStore(std::make_unique<TWavDataStore>()),
      PlayStream(std::make_unique<TPlayStream>()) {
    // Marker 0 is the play marker: solid, no caption, hidden until something plays.
    auto* marker = new cMarker;
    marker->Dotted = false;
    marker->MarkerPos = -1.0;
    Markers.Add(marker);
    OnNeedDetail = [this](TMemWavView*, double Start, double Len) { RequestDetail(Start, Len); };
    RefreshTimer->setInterval(30);
    connect(RefreshTimer, &QTimer::timeout, this, &TAudioView::RefreshTick);
    RefreshTimer->start();
}

TAudioView::~TAudioView() {
    RefreshTimer->stop();
    if (StreamLoad.valid()) StreamLoad.wait();
    if (DetailLoad.valid()) DetailLoad.wait();
}

void TAudioView::SetFileName(const std::string& Name) {
    if (lowerCase(Name) == lowerCase(FileName)) return;
    FileName = Name;
    Stop();
    Edited = nullptr;
    EditedImage = {};
    StreamStale = StreamEdited = false;
    if (StreamLoad.valid()) StreamLoad.wait();
    if (DetailLoad.valid()) DetailLoad.wait();
    DetailLoad = {};
    WavStore->SetOptCacheImage(CacheAudioImage);
    try {
        WavStore->SetFileName(Name);
    } catch (...) {
        // The store dropped the old image already; the view must not keep pointing at it.
        SetMemBuffer(nullptr, 0);
        throw;
    }
    LoadStream(Name);
    SetMemBuffer(WavStore->GetMemStart(), WavStore->GetMemLen());
    DrawnFill = -1;
    if (OnFileOpen) OnFileOpen(this);
}

void TAudioView::LoadStream(const std::string& Name) {
    // The play stream decodes the whole file; that runs beside the image instead of before it.
    StreamLoad = std::async(std::launch::async, [this, Name] {
        try {
            PlayStream->SetFileName(Name);
        } catch (...) {
            // The image shows the file; a stream that cannot play it stays silent.
        }
    });
}

void TAudioView::SetEditedSound(const brindle::waveform::TSampleBuffer* Sound) {
    if (Sound == Edited) return;
    Stop();
    Edited = Sound;
    if (Edited) {
        SoundChanged();
        return;
    }
    EditedImage = {};
    StreamStale = false;
    if (StreamEdited && !FileName.empty()) {
        // The stream played the edits; it plays the file again.
        if (StreamLoad.valid()) StreamLoad.wait();
        StreamEdited = false;
        LoadStream(FileName);
    }
    SetMemBuffer(WavStore->GetMemStart(), WavStore->GetMemLen());
    DrawnFill = -1;
}

void TAudioView::SoundChanged(brindle::waveform::TFrameRange Changed) {
    if (!Edited) return;
    // Whatever plays is an older state of the sound.
    Stop();
    const int rate = WavStore->GetResultFrequency();
    if (Changed.Count > 0 && !EditedImage.empty()) brindle::waveform::UpdatePeakImage(*Edited, rate, Changed, EditedImage);
    else EditedImage = brindle::waveform::PeakImageOf(*Edited, rate);
    StreamStale = true;
    if (DetailLoad.valid()) DetailLoad.wait();
    DetailLoad = {};
    SetMemBuffer(EditedImage.empty() ? nullptr : EditedImage.data(), std::int64_t(EditedImage.size()) * 2);
}

std::int64_t TAudioView::TotalFrames() const {
    if (Edited) return Edited->Frames();
    return WavStore->SourceFrames() > 0 ? WavStore->SourceFrames() : TMemWavView::TotalFrames();
}

TPlayStream& TAudioView::PlayingStream() {
    TPlayStream& stream = Stream();
    if (Edited && StreamStale) {
        brindle::waveform::Pcm16(*Edited, PcmSpare);
        PcmSpare = stream.SetPcm(std::move(PcmSpare), Edited->Rate, Edited->Channels);
        StreamStale = false;
        StreamEdited = true;
    }
    return stream;
}

TPlayStream& TAudioView::Stream() {
    if (StreamLoad.valid()) StreamLoad.get();
    return *PlayStream;
}

double TAudioView::LenSec() const {
    if (Edited) return Edited->Rate > 0 ? Edited->Seconds() : -1;
    if (FileName.empty() || WavStore->SourceRate() <= 0) return -1;
    return double(WavStore->SourceFrames()) / WavStore->SourceRate();
}

void TAudioView::Play(double Pos) {
    if (FileName.empty()) return;
    if (Pos == -1) Pos = GetSelStart();
    PlayingStream().Play(float(Pos), 0.0f, false, true);
}

void TAudioView::PlaySelection() {
    if (FileName.empty()) return;
    PlayingStream().Play(float(GetSelStart()), float(GetSelLen()), false, true);
}

void TAudioView::LoopSelection(bool Seek) {
    if (FileName.empty()) return;
    PlayingStream().Play(float(GetSelStart()), float(GetSelLen()), true, Seek);
}

// A stream still decoding plays nothing, so there is nothing to stop or ask.
void TAudioView::Stop() {
    if (!StreamLoad.valid() || ready(StreamLoad)) Stream().Stop();
}

bool TAudioView::Playing() { return (!StreamLoad.valid() || ready(StreamLoad)) && Stream().GetIsPlaying(); }

void TAudioView::DisplayFileZone(const std::string& Name, double StartSeconds, double LengthSeconds) {
    SetFileName(Name);
    SetViewStart(StartSeconds / LenSec());
    SetViewLen(LengthSeconds / LenSec());
    SetSelStart(0);
    SetSelLen(0);
}

void TAudioView::RequestDetail(double Start, double Len) {
    if (Edited) {
        // From memory, but not inside the redraw that asked: the answer redraws.
        if (DetailQueued) return;
        DetailQueued = true;
        QTimer::singleShot(0, this, [this, Start, Len] {
            DetailQueued = false;
            if (!Edited) return;
            const std::int64_t total = Edited->Frames();
            const std::int64_t count = std::int64_t(std::ceil(Len * double(total))) + 2;
            const std::int64_t margin = std::min(count, (MaxDetailFrames - count) / 2);
            const std::int64_t first =
                std::max<std::int64_t>(0, std::int64_t(std::floor(Start * double(total))) - std::max<std::int64_t>(margin, 0));
            const std::int64_t frames = std::min<std::int64_t>(MaxDetailFrames, count + 2 * std::max<std::int64_t>(margin, 0));
            SetDetail(brindle::waveform::MonoPcm16(*Edited, first, frames), first, total);
        });
        return;
    }
    const std::int64_t total = WavStore->SourceFrames();
    if (total <= 0 || FileName.empty()) return;
    const std::int64_t first = std::int64_t(std::floor(Start * double(total)));
    const std::int64_t count = std::int64_t(std::ceil(Len * double(total))) + 1;
    // A read already under way for this part of the file answers it.
    if (DetailLoad.valid() && first >= DetailLoadFirst && first + count <= DetailLoadFirst + MaxDetailFrames) return;
    if (DetailLoad.valid()) DetailLoad.wait();
    const std::int64_t margin = std::min(count, (MaxDetailFrames - count) / 2);
    DetailLoadFirst = std::max<std::int64_t>(0, first - std::max<std::int64_t>(margin, 0));
    const int frames = int(std::min<std::int64_t>(MaxDetailFrames, count + 2 * std::max<std::int64_t>(margin, 0)));
    TWavDataStore* store = WavStore.get();
    const std::int64_t from = DetailLoadFirst;
    DetailLoad = std::async(std::launch::async, [store, from, frames] { return store->ReadSourceMono(from, frames); });
}

void TAudioView::RefreshTick() {
    try {
        bool changed = false;
        if (PlayMarkerUpdate && !ExternalPlayPosition) PlayMarker()->MarkerPos = Playing() ? double(Stream().GetPos()) : -1.0;
        // Whoever moves the marker, it is drawn when it moved.
        changed |= PlayMarker()->MarkerPos != DrawnMarker;
        DrawnMarker = PlayMarker()->MarkerPos;
        if (ready(DetailLoad)) {
            SetDetail(DetailLoad.get(), DetailLoadFirst, WavStore->SourceFrames());
            changed = true;
        }
        // The image grows while the file decodes.
        const std::int64_t fill = WavStore->Done() ? WavStore->GetMemLen() : WavStore->FilledBytes();
        changed |= fill != DrawnFill;
        DrawnFill = fill;
        if (changed) Redraw();
    } catch (...) {
        // A refresh never stops the view.
    }
}
