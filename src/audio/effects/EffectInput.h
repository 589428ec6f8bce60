#pragma once
// The read stream the equalizer and the reverb share: it pulls the node's input, or gives
// silence (and no data) while the node has none; its float path pulls the input's floats.
// The pulls below serve every effect node over a stream, the compressor's too.
#include "audio/nodes/AudioX.h"
#include "audio/soundlib/dsp/Stream.h"

#include <memory>
#include <source_location>

namespace brindle {

// A failure names the caller's source line, as every stream set-up failure does.
std::unique_ptr<dsp::TStream>
MakeEffectInputStream(TAudioX& Node, std::source_location Where = std::source_location::current());

// An effect node pulled through its stream. Over an input that has floats natively (see
// TAudioX::GivesFloats) the effect runs on unsaturated sound and the 16-bit pull saturates once,
// at the end; otherwise the stream works on the input's 16-bit data.
bool StreamGivesFloats(const dsp::TStream* Stream, const TAudioX& Node);
int PopStreamData(dsp::TStream& Stream, const TAudioX& Node, void* Buf, int BufLen);
int PopStreamFloats(dsp::TStream* Stream, TAudioX& Node, float* Buf, int Frames);

} // namespace brindle
