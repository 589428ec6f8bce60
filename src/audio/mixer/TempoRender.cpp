#include "audio/mixer/TempoRender.h"

#include "audio/mixer/MixKernels.h"
#include "audio/mixer/SampleCache.h"
#include "audio/soundlib/TempoStream.h"

#include <algorithm>
#include <cmath>

namespace brindle::soundlib {

namespace {
struct Cursor {
    const SampleData* Data;
    std::int64_t Next = 0;
};

int pull(void* User, std::int16_t* Buf, int Frames) {
    auto* c = static_cast<Cursor*>(User);
    const std::int64_t left = c->Data->Frames() - c->Next;
    const int take = static_cast<int>(std::clamp<std::int64_t>(left, 0, Frames));
    const std::int16_t* src = c->Data->Pcm.data() + c->Next * c->Data->Channels;
    std::copy(src, src + static_cast<size_t>(take) * c->Data->Channels, Buf);
    c->Next += take;
    return take;
}
} // namespace

std::vector<std::int16_t> RenderTempoVariant(const SampleData& Source, float Speed, float Pitch,
                                             StretchQuality Quality, const std::atomic<bool>* Cancel) {
    Speed = PlayableSpeed(Speed);
    Pitch = PlayablePitch(Pitch);
    const int channels = Source.Channels;
    const std::int64_t frames = ProcessedFrames(Source.Frames(), Speed);
    std::vector<std::int16_t> out(static_cast<size_t>(std::max<std::int64_t>(frames, 0)) * channels);
    const int fade = NoteFadeFrames(Source.SampleRate);
    if (Quality == StretchQuality::Best) {
        auto best = StretchBest(Source.Pcm.data(), Source.Frames(), channels, Source.SampleRate, Speed, Pitch,
                                frames, Cancel);
        FadeNoteEnd(best.data(), static_cast<int>(frames), channels, 0, frames, fade);
        FloatsToShorts(out.data(), best.data(), static_cast<int>(best.size()));
        return out;
    }
    constexpr int Chunk = 4096;
    TempoStream tempo(Source.SampleRate, channels);
    Cursor cursor{&Source};
    PullStream src;
    src.Fill = &pull;
    src.User = &cursor;
    src.SampleRate = Source.SampleRate;
    src.Channels = channels;
    tempo.SetSource(src);
    tempo.SetPadWithSilence(true); // as a voice does: silence after the source's end
    tempo.Set(100.0f * (Speed - 1.0f), Pitch);
    tempo.Restart();
    // Each read feeds a bounded amount of input and the source is padded with silence, so every
    // read delivers; one that does not ends the loop and leaves the rest silent.
    std::vector<float> chunk(static_cast<size_t>(Chunk) * channels);
    for (std::int64_t done = 0; done < frames;) {
        if (Cancel && Cancel->load(std::memory_order_relaxed)) throw StretchCancelled();
        const int want = static_cast<int>(std::min<std::int64_t>(Chunk, frames - done));
        const int got = tempo.ReadFloats(chunk.data(), want);
        if (got <= 0) break;
        // The same float path and fade as a live voice, so both give the same samples.
        FadeNoteEnd(chunk.data(), got, channels, done, frames, fade);
        FloatsToShorts(out.data() + done * channels, chunk.data(), got * channels);
        done += got;
    }
    return out;
}

} // namespace brindle::soundlib
