#pragma once
// The read stream the equalizer and the reverb share: it pulls the node's input, or gives
// silence (and no data) while the node has none; its float path pulls the input's floats.
#include "audio/nodes/AudioX.h"
#include "audio/soundlib/dsp/Stream.h"

#include <memory>
#include <source_location>

namespace brindle {

// A failure names the caller's source line, as every stream set-up failure does.
std::unique_ptr<dsp::TStream> MakeEffectInputStream(TAudioX& Node,
                                                    std::source_location Where = std::source_location::current());

} // namespace brindle
