#include "audio/waveform/SampleEdit.h"

#include "audio/soundlib/SoundFile.h"
#include "audio/waveform/PeakImage.h"
#include "base/Error.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace brindle::waveform {
namespace {

float* At(TSampleBuffer& Buffer, std::int64_t Frame) { return Buffer.Data.data() + Frame * Buffer.Channels; }
const float* At(const TSampleBuffer& Buffer, std::int64_t Frame) {
    return Buffer.Data.data() + Frame * Buffer.Channels;
}

void Scale(TSampleBuffer& Buffer, TFrameRange Range, double Factor) {
    float* p = At(Buffer, Range.First);
    const std::int64_t n = Range.Count * Buffer.Channels;
    for (std::int64_t i = 0; i < n; ++i) p[i] = float(double(p[i]) * Factor);
}

std::int16_t ToPcm16(double Value) {
    return std::int16_t(std::clamp(std::nearbyint(Value * 32768.0), -32768.0, 32767.0));
}

double ChannelSum(const TSampleBuffer& Buffer, std::int64_t Frame) {
    const float* p = At(Buffer, Frame);
    double s = 0;
    for (int c = 0; c < Buffer.Channels; ++c) s += p[c];
    return s;
}

} // namespace

TSampleBuffer LoadSampleBuffer(const std::string& Path) {
    soundlib::SoundFile file;
    file.Open(Path);
    TSampleBuffer buffer;
    buffer.Rate = file.SampleRate();
    buffer.Channels = file.Channels();
    const auto limit = std::int64_t(soundlib::MaxDecodeSeconds * buffer.Rate) * buffer.Channels;
    const std::int64_t claimed = file.LengthFrames() * buffer.Channels;
    if (claimed > 0 && claimed <= limit) buffer.Data.reserve(std::size_t(claimed));
    constexpr int Block = 16384;
    std::vector<float> block(std::size_t(Block) * buffer.Channels);
    while (true) {
        const int got = file.ReadFloat(block.data(), Block);
        if (got <= 0) break;
        buffer.Data.insert(buffer.Data.end(), block.begin(), block.begin() + std::ptrdiff_t(got) * buffer.Channels);
        if (std::int64_t(buffer.Data.size()) > limit)
            throw Error("\"" + Path + "\" is longer than " + std::to_string(int(soundlib::MaxDecodeSeconds / 60)) +
                        " minutes; it can't be edited.");
    }
    return buffer;
}

TFrameRange EditRange(const TSampleBuffer& Buffer, TFrameRange Range) {
    const std::int64_t frames = Buffer.Frames();
    Range.First = std::clamp<std::int64_t>(Range.First, 0, frames);
    Range.Count = std::clamp<std::int64_t>(Range.Count, 0, frames - Range.First);
    if (Range.Count == 0) return {0, frames};
    return Range;
}

float Peak(const TSampleBuffer& Buffer, TFrameRange Range) {
    const float* p = At(Buffer, Range.First);
    const std::int64_t n = Range.Count * Buffer.Channels;
    float peak = 0;
    for (std::int64_t i = 0; i < n; ++i) peak = std::max(peak, std::abs(p[i]));
    return peak;
}

double ToDb(double Level) { return 20.0 * std::log10(Level); }

bool Normalize(TSampleBuffer& Buffer, TFrameRange Range, double TargetDb) {
    const float peak = Peak(Buffer, Range);
    if (peak == 0 || !std::isfinite(TargetDb)) return false;
    Scale(Buffer, Range, std::pow(10.0, TargetDb / 20.0) / double(peak));
    return true;
}

void Gain(TSampleBuffer& Buffer, TFrameRange Range, double Db) { Scale(Buffer, Range, std::pow(10.0, Db / 20.0)); }

void Fade(TSampleBuffer& Buffer, TFrameRange Range, bool In, TFadeShape Shape) {
    if (Range.Count < 2) return;
    const double last = double(Range.Count - 1);
    // Frame i of the fade gets Curve(i / last) fading in, Curve(1 - i / last) fading out; the
    // frame at 1 is left untouched, so that end is exactly as it was.
    auto curve = [Shape](double T) { return Shape == TFadeShape::Linear ? T : std::sin(T * std::numbers::pi / 2); };
    for (std::int64_t i = 0; i < Range.Count; ++i) {
        const double t = In ? double(i) / last : double(Range.Count - 1 - i) / last;
        if (t >= 1.0) continue;
        float* p = At(Buffer, Range.First + i);
        const double g = t <= 0.0 ? 0.0 : curve(t);
        for (int c = 0; c < Buffer.Channels; ++c) p[c] = g == 0.0 ? 0.0f : float(double(p[c]) * g);
    }
}

void Reverse(TSampleBuffer& Buffer, TFrameRange Range) {
    const int channels = Buffer.Channels;
    for (std::int64_t a = Range.First, b = Range.End() - 1; a < b; ++a, --b)
        std::swap_ranges(At(Buffer, a), At(Buffer, a) + channels, At(Buffer, b));
}

void Silence(TSampleBuffer& Buffer, TFrameRange Range) {
    std::fill_n(At(Buffer, Range.First), Range.Count * Buffer.Channels, 0.0f);
}

void Crop(TSampleBuffer& Buffer, TFrameRange Range) {
    auto& d = Buffer.Data;
    d.erase(d.begin() + Range.End() * Buffer.Channels, d.end());
    d.erase(d.begin(), d.begin() + Range.First * Buffer.Channels);
}

void Delete(TSampleBuffer& Buffer, TFrameRange Range) {
    auto& d = Buffer.Data;
    d.erase(d.begin() + Range.First * Buffer.Channels, d.begin() + Range.End() * Buffer.Channels);
}

std::int64_t NearestZeroCrossing(const TSampleBuffer& Buffer, std::int64_t Frame, std::int64_t Radius) {
    const std::int64_t frames = Buffer.Frames();
    if (frames == 0) return Frame;
    Frame = std::clamp<std::int64_t>(Frame, 0, frames - 1);
    // A crossing between k - 1 and k, or a frame at zero: the frame of the two nearer to zero.
    auto crossing = [&](std::int64_t K) -> std::int64_t {
        if (K < 0 || K >= frames) return -1;
        const double s = ChannelSum(Buffer, K);
        if (s == 0) return K;
        if (K == 0) return -1;
        const double before = ChannelSum(Buffer, K - 1);
        if ((before < 0) == (s < 0) || before == 0) return -1;
        return std::abs(before) < std::abs(s) ? K - 1 : K;
    };
    for (std::int64_t d = 0; d <= Radius; ++d) {
        if (const std::int64_t k = crossing(Frame - d); k >= 0) return k;
        if (const std::int64_t k = crossing(Frame + d); k >= 0) return k;
    }
    return Frame;
}

std::vector<std::int16_t> MonoPcm16(const TSampleBuffer& Buffer, std::int64_t First, std::int64_t Count) {
    First = std::clamp<std::int64_t>(First, 0, Buffer.Frames());
    Count = std::clamp<std::int64_t>(Count, 0, Buffer.Frames() - First);
    std::vector<std::int16_t> mono(std::size_t(Count), 0);
    const int channels = Buffer.Channels;
    const float* p = At(Buffer, First);
    if (channels == 1) {
        for (std::int64_t i = 0; i < Count; ++i) mono[std::size_t(i)] = ToPcm16(p[i]);
        return mono;
    }
    for (std::int64_t i = 0; i < Count; ++i, p += channels) {
        double s = 0;
        for (int c = 0; c < channels; ++c) s += p[c];
        mono[std::size_t(i)] = ToPcm16(s / channels);
    }
    return mono;
}

std::vector<std::int16_t> Pcm16(const TSampleBuffer& Buffer) {
    std::vector<std::int16_t> pcm(Buffer.Data.size());
    std::transform(Buffer.Data.begin(), Buffer.Data.end(), pcm.begin(), [](float v) { return ToPcm16(v); });
    return pcm;
}

std::vector<std::int16_t> PeakImageOf(const TSampleBuffer& Buffer, int ImageRate) {
    std::vector<std::int16_t> image;
    const std::int64_t frames = Buffer.Frames();
    if (frames == 0 || Buffer.Rate <= 0 || ImageRate <= 0) return image;
    const std::int64_t samples = std::max<std::int64_t>(1, frames * ImageRate / Buffer.Rate);
    image.reserve(std::size_t(samples) + 1);
    TPeakDecimator decimator(Buffer.Rate, ImageRate, samples);
    constexpr std::int64_t Block = 65536;
    for (std::int64_t at = 0; at < frames && !decimator.Full(); at += Block) {
        const auto mono = MonoPcm16(Buffer, at, std::min(Block, frames - at));
        decimator.Feed(mono.data(), std::int64_t(mono.size()), image);
    }
    decimator.Finish(image);
    image.resize(std::size_t(samples), 0);
    return image;
}

// ---- the editor ----

void TSampleEditor::Load(TSampleBuffer Buffer) {
    Sound = std::move(Buffer);
    History.clear();
    Done = 0;
    Clean = 0;
    ++Changes;
}

bool TSampleEditor::Perform(const TEdit& Edit, std::vector<TSplice>* Undo) {
    const TFrameRange r = Edit.Range;
    const int channels = Sound.Channels;
    // What an in-place edit replaces, for its undo.
    auto keep = [&](TFrameRange Part, std::int64_t NewCount) {
        if (!Undo || Part.Count == 0) return;
        const auto from = Sound.Data.begin() + Part.First * channels;
        Undo->push_back({Part.First, NewCount, std::vector<float>(from, from + Part.Count * channels)});
    };
    switch (Edit.Kind) {
    case TEditKind::Normalize:
        if (Peak(Sound, r) == 0) return false;
        keep(r, r.Count);
        Normalize(Sound, r, Edit.Db);
        return true;
    case TEditKind::Gain:
        keep(r, r.Count);
        Gain(Sound, r, Edit.Db);
        return true;
    case TEditKind::FadeIn:
    case TEditKind::FadeOut:
        keep(r, r.Count);
        Fade(Sound, r, Edit.Kind == TEditKind::FadeIn, Edit.Shape);
        return true;
    case TEditKind::Reverse:
        Reverse(Sound, r);
        return true;
    case TEditKind::Silence:
        keep(r, r.Count);
        Silence(Sound, r);
        return true;
    case TEditKind::Crop:
        // The tail goes first, so the head's splice still starts at frame 0.
        keep({r.End(), Sound.Frames() - r.End()}, 0);
        keep({0, r.First}, 0);
        Crop(Sound, r);
        return true;
    case TEditKind::Delete:
        keep(r, 0);
        Delete(Sound, r);
        return true;
    }
    return false;
}

bool TSampleEditor::Apply(TEdit Edit) {
    const std::int64_t frames = Sound.Frames();
    if (frames == 0) return false;
    const bool cuts = Edit.Kind == TEditKind::Crop || Edit.Kind == TEditKind::Delete;
    if (cuts && Edit.Range.Count <= 0) return false;
    // A range wholly past the end is nothing; only an empty one stands for the whole sample.
    if (Edit.Range.Count > 0 && (Edit.Range.First >= frames || Edit.Range.End() <= 0)) return false;
    Edit.Range = EditRange(Sound, Edit.Range);
    const TFrameRange r = Edit.Range;
    // Edits that would leave everything as it is make no history.
    if (Edit.Kind == TEditKind::Crop && r.Count == frames) return false;
    if (Edit.Kind == TEditKind::Delete && r.Count == frames) return false; // never an empty sample
    if ((Edit.Kind == TEditKind::FadeIn || Edit.Kind == TEditKind::FadeOut || Edit.Kind == TEditKind::Reverse) &&
        r.Count < 2)
        return false;
    if (Edit.Kind == TEditKind::Gain && (Edit.Db == 0 || !std::isfinite(Edit.Db))) return false;
    if (Edit.Kind == TEditKind::Normalize && !std::isfinite(Edit.Db)) return false;
    TEntry entry{Edit, {}};
    if (!Perform(Edit, &entry.Undo)) return false;
    History.resize(Done);
    if (Clean > std::int64_t(Done)) Clean = -1; // the clean state was among the redos dropped
    History.push_back(std::move(entry));
    ++Done;
    ++Changes;
    Forget();
    return true;
}

const TEdit* TSampleEditor::Undo() {
    if (!CanUndo()) return nullptr;
    TEntry& entry = History[--Done];
    if (entry.Edit.Kind == TEditKind::Reverse) {
        Reverse(Sound, entry.Edit.Range);
    } else {
        const int channels = Sound.Channels;
        for (auto s = entry.Undo.rbegin(); s != entry.Undo.rend(); ++s) {
            auto& d = Sound.Data;
            const auto first = d.begin() + s->First * channels;
            const auto newEnd = first + s->NewCount * channels;
            if (s->NewCount * channels == std::int64_t(s->Old.size())) {
                std::copy(s->Old.begin(), s->Old.end(), first);
            } else {
                const auto at = d.erase(first, newEnd);
                d.insert(at, s->Old.begin(), s->Old.end());
            }
        }
    }
    ++Changes;
    return &entry.Edit;
}

const TEdit* TSampleEditor::Redo() {
    if (!CanRedo()) return nullptr;
    TEntry& entry = History[Done];
    // The frames kept for the undo are those the edit will replace again, so they stay.
    Perform(entry.Edit, nullptr);
    ++Done;
    ++Changes;
    return &entry.Edit;
}

std::size_t TSampleEditor::HeldBytes() const {
    std::size_t bytes = 0;
    for (const TEntry& e : History)
        for (const TSplice& s : e.Undo) bytes += s.Old.size() * sizeof(float);
    return bytes;
}

void TSampleEditor::Forget() {
    // The newest edit stays undoable whatever it holds.
    std::size_t held = HeldBytes();
    std::size_t drop = 0;
    while (held > MemoryBudget && drop + 1 < Done) {
        for (const TSplice& s : History[drop].Undo) held -= s.Old.size() * sizeof(float);
        ++drop;
    }
    if (drop == 0) return;
    History.erase(History.begin(), History.begin() + std::ptrdiff_t(drop));
    Done -= drop;
    Clean = Clean >= std::int64_t(drop) ? Clean - std::int64_t(drop) : -1;
}

} // namespace brindle::waveform
