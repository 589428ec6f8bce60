#include "app/SongRender.h"

#include "app/SongEngine.h"
#include "audio/output/EncoderNode.h"
#include "song/Sequencer.h"

#include <algorithm>

namespace brindle {

namespace {
void addOnce(std::vector<std::string>& list, const std::string& text) {
    if (std::find(list.begin(), list.end(), text) == list.end()) list.push_back(text);
}
} // namespace

RenderReport RenderSong(SongEngine& Engine, const RenderOptions& Options) {
    RenderReport report;
    auto& song = Engine.Song();
    auto& mixer = Engine.Mixer();

    TEncoderNode encoder;
    encoder.SetOutputFileName(Options.OutputFile);
    encoder.OutputFormatDetect();
    encoder.MP3KBitRate = Options.Mp3KBitRate;
    encoder.Dither = Options.Dither;

    mixer.GetSampleCache()->SetStretchQuality(Options.StretchQuality);
    for (const auto& p : Engine.PreloadInstruments()) addOnce(report.Problems, p);
    encoder.SetInput(Engine.ApplySongEffects());
    // Like every start, this clears the mixer, so voices left from live playing never leak in.
    Engine.PlaySongFrom(1);

    const double total = song.SongLengthSeconds() + Options.TailSeconds;
    const std::int64_t bytesPerSecond = std::int64_t(encoder.GetSampleRate()) * encoder.GetChannels() * 2;
    const std::int64_t tailBytes = std::int64_t(double(Options.TailSeconds) * double(bytesPerSecond));
    std::int64_t stoppedAt = -1;
    encoder.BufLen = 0.01f;
    encoder.OnEncodeProgress = [&](TEncoderNode* Sender) {
        const std::int64_t done = Sender->GetProgressBytes();
        if (Options.Progress && !Options.Progress(Sender->GetProgressSeconds(), total)) {
            report.Cancelled = true;
            Sender->Stop();
        }
        if (Engine.Playing()) return;
        if (stoppedAt < 0) stoppedAt = done;
        // The block after the song stopped is the last one, unless a tail lets voices ring out.
        if (tailBytes <= 0 || mixer.VoiceCount() == 0 || done - stoppedAt >= tailBytes) Sender->Stop();
    };
    {
        // Playback ends with the render, whether it completes or fails.
        struct StopAfter {
            SongEngine& Engine;
            ~StopAfter() { Engine.Stop(); }
        } stopAfter{Engine};
        encoder.Encode();
    }
    for (const auto& p : mixer.TakeProblems()) addOnce(report.Problems, p);
    report.Seconds = encoder.GetProgressSeconds();
    return report;
}

} // namespace brindle
