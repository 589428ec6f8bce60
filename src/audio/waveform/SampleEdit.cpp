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

void Scale(const float* In, float* Out, std::int64_t Count, double Factor) {
    for (std::int64_t i = 0; i < Count; ++i) Out[i] = float(double(In[i]) * Factor);
}

void Scale(TSampleBuffer& Buffer, TFrameRange Range, double Factor) {
    float* p = At(Buffer, Range.First);
    Scale(p, p, Range.Count * Buffer.Channels, Factor);
}

double GainOf(const TEdit& Edit, float Peak) {
    return Edit.Kind == TEditKind::Normalize ? std::pow(10.0, Edit.Db / 20.0) / double(Peak) : std::pow(10.0, Edit.Db / 20.0);
}

// Nearest step, half away from zero; a plain cast after the offset keeps the loops vectorised
// (std::nearbyint is a library call per sample, ten times slower on long sounds).
inline std::int16_t ToPcm16(float Value) {
    const float v = std::clamp(Value * 32768.0f, -32768.0f, 32767.0f);
    return std::int16_t(int(v + (v >= 0 ? 0.5f : -0.5f)));
}

// The mono level of a frame: the channels' average.
inline float MonoAt(const float* Frame, int Channels) {
    if (Channels == 1) return Frame[0];
    float s = 0;
    for (int c = 0; c < Channels; ++c) s += Frame[c];
    return s / float(Channels);
}

// Image sample I's window of source frames, as TPeakDecimator makes it.
TFrameRange Window(std::int64_t I, std::int64_t Rate, std::int64_t ImageRate) {
    const std::int64_t start = I * Rate / ImageRate;
    const std::int64_t end = std::max((I + 1) * Rate / ImageRate, start + 1);
    return {start, end - start};
}

// Image samples [First, End) from the sound: the mono value of largest magnitude in each window,
// with its sign (the positive one when both signs reach it).
void FillImage(const TSampleBuffer& Buffer, int ImageRate, std::int64_t First, std::int64_t End,
               std::int16_t* Image) {
    const std::int64_t frames = Buffer.Frames();
    for (std::int64_t i = First; i < End; ++i) {
        TFrameRange w = Window(i, Buffer.Rate, ImageRate);
        w.Count = std::clamp<std::int64_t>(frames - w.First, 0, w.Count);
        float hi = -2e9f, lo = 2e9f;
        const float* p = At(Buffer, std::min(w.First, frames));
        for (std::int64_t k = 0; k < w.Count; ++k, p += Buffer.Channels) {
            const float m = MonoAt(p, Buffer.Channels);
            hi = std::max(hi, m);
            lo = std::min(lo, m);
        }
        if (w.Count == 0) {
            Image[i - First] = 0;
            continue;
        }
        const std::int16_t h = ToPcm16(hi), l = ToPcm16(lo);
        Image[i - First] = int(h) >= -int(l) ? h : l;
    }
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

namespace {
// Normalize with the peak already measured.
void NormalizeFrom(TSampleBuffer& Buffer, TFrameRange Range, double TargetDb, float Peak) {
    Scale(Buffer, Range, std::pow(10.0, TargetDb / 20.0) / double(Peak));
}
} // namespace

void Gain(TSampleBuffer& Buffer, TFrameRange Range, double Db) { Scale(Buffer, Range, std::pow(10.0, Db / 20.0)); }

namespace {

// Frames In faded into Out (which may be In): fading in, frame i gets Curve(i / last), fading
// out Curve(1 - i / last); the silent end is exactly 0 and the other end exactly as it was.
void FadeFrames(const float* In, float* Out, std::int64_t Count, int Channels, bool FadeIn, TFadeShape Shape) {
    if (Count < 2) {
        if (In != Out) std::copy(In, In + Count * Channels, Out);
        return;
    }
    const double last = double(Count - 1);
    // The quarter sine steps by rotations, set right again from std::sin every block, so a long
    // fade costs a few multiplications a frame instead of a sine each; fading out reads the
    // cosine of the same angle (sin(pi/2 - x) = cos x). Eight rotations run side by side, each
    // over every eighth frame, so they do not wait on one another.
    constexpr int Lanes = 8;
    const double step = std::numbers::pi / 2 / last;
    const double cosStep = std::cos(Lanes * step), sinStep = std::sin(Lanes * step);
    constexpr std::int64_t Block = 4096; // a multiple of Lanes
    double gains[Block];
    for (std::int64_t b = 0; b < Count; b += Block) {
        const std::int64_t n = std::min(Block, Count - b);
        if (Shape == TFadeShape::Linear) {
            for (std::int64_t j = 0; j < n; ++j) gains[j] = (FadeIn ? double(b + j) : last - double(b + j)) / last;
        } else {
            double s[Lanes], c[Lanes];
            for (int q = 0; q < Lanes; ++q) {
                s[q] = std::sin(double(b + q) * step);
                c[q] = std::cos(double(b + q) * step);
            }
            for (std::int64_t j = 0; j < n; j += Lanes) {
                for (int q = 0; q < Lanes; ++q) {
                    gains[j + q] = FadeIn ? s[q] : c[q];
                    const double ns = s[q] * cosStep + c[q] * sinStep;
                    c[q] = c[q] * cosStep - s[q] * sinStep;
                    s[q] = ns;
                }
            }
        }
        const float* from = In + b * Channels;
        float* to = Out + b * Channels;
        if (Channels == 2) {
            for (std::int64_t j = 0; j < n; ++j) {
                to[2 * j] = float(double(from[2 * j]) * gains[j]);
                to[2 * j + 1] = float(double(from[2 * j + 1]) * gains[j]);
            }
        } else {
            for (std::int64_t j = 0; j < n; ++j)
                for (int ch = 0; ch < Channels; ++ch) to[j * Channels + ch] = float(double(from[j * Channels + ch]) * gains[j]);
        }
    }
    const std::int64_t silent = FadeIn ? 0 : Count - 1, kept = FadeIn ? Count - 1 : 0;
    std::fill_n(Out + silent * Channels, Channels, 0.0f);
    std::copy(In + kept * Channels, In + (kept + 1) * Channels, Out + kept * Channels);
}

} // namespace

void Fade(TSampleBuffer& Buffer, TFrameRange Range, bool In, TFadeShape Shape) {
    if (Range.Count < 2) return;
    float* p = At(Buffer, Range.First);
    FadeFrames(p, p, Range.Count, Buffer.Channels, In, Shape);
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
    for (std::int64_t i = 0; i < Count; ++i, p += channels) mono[std::size_t(i)] = ToPcm16(MonoAt(p, channels));
    return mono;
}

std::vector<std::int16_t> Pcm16(const TSampleBuffer& Buffer) {
    std::vector<std::int16_t> pcm;
    Pcm16(Buffer, pcm);
    return pcm;
}

void Pcm16(const TSampleBuffer& Buffer, std::vector<std::int16_t>& Out) {
    Out.resize(Buffer.Data.size());
    const float* in = Buffer.Data.data();
    std::int16_t* out = Out.data();
    const std::size_t n = Buffer.Data.size();
    for (std::size_t i = 0; i < n; ++i) out[i] = ToPcm16(in[i]);
}

std::int64_t PeakImageSamples(const TSampleBuffer& Buffer, int ImageRate) {
    if (Buffer.Frames() == 0 || Buffer.Rate <= 0 || ImageRate <= 0) return 0;
    return std::max<std::int64_t>(1, Buffer.Frames() * ImageRate / Buffer.Rate);
}

std::vector<std::int16_t> PeakImageOf(const TSampleBuffer& Buffer, int ImageRate) {
    std::vector<std::int16_t> image(std::size_t(PeakImageSamples(Buffer, ImageRate)));
    FillImage(Buffer, ImageRate, 0, std::int64_t(image.size()), image.data());
    return image;
}

void UpdatePeakImage(const TSampleBuffer& Buffer, int ImageRate, TFrameRange Changed, std::vector<std::int16_t>& Image) {
    const std::int64_t samples = PeakImageSamples(Buffer, ImageRate);
    if (std::int64_t(Image.size()) != samples) {
        Image = PeakImageOf(Buffer, ImageRate);
        return;
    }
    if (Changed.Count <= 0 || samples == 0) return;
    // The windows that hold a changed frame: from the one containing the first to the one
    // containing the last (windows never overlap, and every frame below the end is in one).
    std::int64_t first = std::clamp<std::int64_t>(Changed.First * ImageRate / Buffer.Rate, 0, samples - 1);
    while (first > 0 && Window(first, Buffer.Rate, ImageRate).First > Changed.First) --first;
    std::int64_t end = std::clamp<std::int64_t>((Changed.End() - 1) * ImageRate / Buffer.Rate + 2, first + 1, samples);
    FillImage(Buffer, ImageRate, first, end, Image.data() + first);
}

// ---- the editor ----

void TSampleEditor::Load(TSampleBuffer Buffer) {
    Sound = std::move(Buffer);
    for (TEntry& e : History) Recycle(e);
    History.clear();
    Done = 0;
    Clean = 0;
    ++Changes;
}

bool TSampleEditor::Perform(const TEdit& Edit, std::vector<TSplice>* Undo, float KnownPeak) {
    const TFrameRange r = Edit.Range;
    const int channels = Sound.Channels;
    // What an in-place edit replaces, for its undo.
    auto keep = [&](TFrameRange Part, std::int64_t NewCount) {
        if (!Undo || Part.Count == 0) return;
        const auto from = Sound.Data.begin() + Part.First * channels;
        std::vector<float> old = TakeSpare(std::size_t(Part.Count * channels));
        old.assign(from, from + Part.Count * channels);
        Undo->push_back({Part.First, NewCount, std::move(old)});
    };
    // An edit of the whole sound, or a crop, builds the new sound beside the old one and swaps:
    // the old one is the undo record as it stands, and undo and redo are swaps.
    const bool whole = r.First == 0 && r.Count == Sound.Frames();
    const bool swaps = Edit.Kind == TEditKind::Crop ||
                       (whole && Edit.Kind != TEditKind::Reverse && Edit.Kind != TEditKind::Delete);
    if (swaps && Undo) {
        const std::size_t n = std::size_t((Edit.Kind == TEditKind::Crop ? r.Count : Sound.Frames()) * channels);
        std::vector<float> next = TakeSpare(n);
        const float* from = At(Sound, r.First);
        switch (Edit.Kind) {
        case TEditKind::Normalize:
        case TEditKind::Gain: {
            const float peak = Edit.Kind == TEditKind::Normalize ? (KnownPeak >= 0 ? KnownPeak : Peak(Sound, r)) : 1.0f;
            if (peak == 0) {
                AddSpare(std::move(next));
                return false;
            }
            next.resize(n);
            Scale(from, next.data(), std::int64_t(n), GainOf(Edit, peak));
            break;
        }
        case TEditKind::Silence:
            next.assign(n, 0.0f);
            break;
        case TEditKind::FadeIn:
        case TEditKind::FadeOut:
            next.resize(n);
            FadeFrames(from, next.data(), r.Count, channels, Edit.Kind == TEditKind::FadeIn, Edit.Shape);
            break;
        default: // the crop
            next.assign(from, from + n);
            break;
        }
        std::swap(Sound.Data, next);
        Undo->push_back({0, Sound.Frames(), std::move(next), true});
        return true;
    }
    switch (Edit.Kind) {
    case TEditKind::Normalize: {
        const float peak = KnownPeak >= 0 ? KnownPeak : Peak(Sound, r);
        if (peak == 0) return false;
        keep(r, r.Count);
        NormalizeFrom(Sound, r, Edit.Db, peak);
        return true;
    }
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
    const float peak = Edit.Kind == TEditKind::Normalize ? Peak(Sound, r) : -1.0f;
    if (peak == 0) return false; // silence stays silence
    // The redos go first, so their memory can hold this edit's record.
    while (History.size() > Done) {
        Recycle(History.back());
        History.pop_back();
    }
    TEntry entry{Edit, {}};
    Perform(Edit, &entry.Undo, peak);
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
    if (entry.Undo.size() == 1 && entry.Undo[0].Swapped) {
        std::swap(Sound.Data, entry.Undo[0].Old);
    } else if (entry.Edit.Kind == TEditKind::Reverse) {
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
    // The frames kept for the undo are those the edit will replace again, so they stay; a
    // swapped record holds the edited sound itself.
    if (entry.Undo.size() == 1 && entry.Undo[0].Swapped) std::swap(Sound.Data, entry.Undo[0].Old);
    else Perform(entry.Edit, nullptr);
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
    for (std::size_t i = 0; i < drop; ++i) Recycle(History[i]);
    History.erase(History.begin(), History.begin() + std::ptrdiff_t(drop));
    Done -= drop;
    Clean = Clean >= std::int64_t(drop) ? Clean - std::int64_t(drop) : -1;
}

void TSampleEditor::AddSpare(std::vector<float> Memory) {
    if (Memory.capacity() == 0) return;
    Spares.push_back(std::move(Memory));
    // Spare memory is kept up to twice the sound's size (at least one whole-sound record).
    const std::size_t limit = 2 * std::max(Sound.Data.size(), Spares.back().capacity()) * sizeof(float);
    std::sort(Spares.begin(), Spares.end(), [](const auto& A, const auto& B) { return A.capacity() > B.capacity(); });
    std::size_t held = 0, keep = 0;
    while (keep < Spares.size() && held + Spares[keep].capacity() * sizeof(float) <= limit)
        held += Spares[keep++].capacity() * sizeof(float);
    Spares.resize(std::max<std::size_t>(keep, 1));
}

void TSampleEditor::Recycle(TEntry& Entry) {
    for (TSplice& s : Entry.Undo) AddSpare(std::move(s.Old));
    Entry.Undo.clear();
}

std::vector<float> TSampleEditor::TakeSpare(std::size_t Floats) {
    // The smallest that fits: memory already touched costs no page faults, which on a long sound
    // are most of an edit's time.
    // A block far larger than the record stays for a larger one; small records are cheap to make.
    auto best = Spares.end();
    const std::size_t largest = 2 * Floats + 65536;
    for (auto it = Spares.begin(); it != Spares.end(); ++it)
        if (it->capacity() >= Floats && it->capacity() <= largest &&
            (best == Spares.end() || it->capacity() < best->capacity()))
            best = it;
    if (best == Spares.end()) {
        std::vector<float> fresh;
        fresh.reserve(Floats);
        return fresh;
    }
    std::vector<float> taken = std::move(*best);
    Spares.erase(best);
    return taken;
}

std::size_t TSampleEditor::SpareBytes() const {
    std::size_t bytes = 0;
    for (const auto& s : Spares) bytes += s.capacity() * sizeof(float);
    return bytes;
}

} // namespace brindle::waveform
