#pragma once
// A marker view over a file: it owns the file's waveform store and a play stream, shows the image
// while it decodes, plays all or part of the file, and moves the play marker (marker 0) with a
// 30 ms refresh. Zoomed past the image, it reads the source frames under the view off the paint
// path and draws those.
#include "audio/waveform/SampleEdit.h"
#include "ui/views/MarkersWavView.h"

#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <vector>

class QTimer;
class TPlayStream;
class TWavDataStore;

class TAudioView : public TMarkersWavView {
    Q_OBJECT

public:
    using TFileEvent = std::function<void(TAudioView* Sender)>;

    explicit TAudioView(QWidget* Parent = nullptr);
    ~TAudioView() override;

    const std::string& GetFileName() const { return FileName; }
    // The same name in other letter case changes nothing. Throws the store's error for a file that
    // cannot be read; the view then shows no image.
    void SetFileName(const std::string& Name);

    bool CacheAudioImage = false;
    bool PlayMarkerUpdate = true;
    bool ExternalPlayPosition = false;
    TFileEvent OnFileOpen;

    // Seconds of the file (-1 without one).
    double LenSec() const override;
    double SecToPos(double Seconds) const { return Seconds / LenSec(); }
    double PosToSec(double Pos) const { return LenSec() * Pos; }

    // Pos -1: from the selection start; plays to the end.
    void Play(double Pos = -1);
    void PlaySelection();
    void LoopSelection(bool Seek);
    void Stop();
    bool Playing();
    cMarker* PlayMarker() { return Markers.Item(0); }
    void DisplayFileZone(const std::string& Name, double StartSeconds, double LengthSeconds);

    // Shows and plays Sound, an edited copy of the file held in memory, in place of the file (which
    // stays FileName; a new file ends it). Call SoundChanged after each change of it with the
    // frames that changed (empty: any, or the length changed): the image is brought up to date
    // from memory, never by decoding the file. Null: the file's own image and sound.
    void SetEditedSound(const brindle::waveform::TSampleBuffer* Sound);
    const brindle::waveform::TSampleBuffer* EditedSound() const { return Edited; }
    void SoundChanged(brindle::waveform::TFrameRange Changed = {});
    std::int64_t TotalFrames() const override;

    TWavDataStore& Store() { return *WavStore; }
    // The play stream, once the file is decoded for it (waits for that).
    TPlayStream& Stream();
    // The same, made to hold the edited sound's latest state when there is one.
    TPlayStream& PlayingStream();

    // One tick of the 30 ms refresh: the play marker, a decoding image, the detail under the view.
    void RefreshTick();
    QTimer* RefreshTimer;

private:
    void RequestDetail(double Start, double Len);
    void LoadStream(const std::string& Name);

    std::unique_ptr<TWavDataStore> WavStore;
    std::unique_ptr<TPlayStream> PlayStream;
    std::future<void> StreamLoad;
    std::string FileName;
    // What the last tick drew, so an idle view costs nothing.
    std::int64_t DrawnFill = -1;
    double DrawnMarker = -2;
    // The source frames being read for a deep zoom.
    std::future<std::vector<std::int16_t>> DetailLoad;
    std::int64_t DetailLoadFirst = 0;
    // The edited sound, its image, and whether the stream still plays an older state of it.
    const brindle::waveform::TSampleBuffer* Edited = nullptr;
    std::vector<std::int16_t> EditedImage;
    std::vector<std::int16_t> PcmSpare; // what the stream played before, for the next copy
    bool StreamStale = false;
    bool StreamEdited = false; // the stream holds edited samples, not the file's
    bool DetailQueued = false;
};
