#pragma once
// The read stream the equalizer and the reverb share: it pulls the node's input, or gives
// silence (and no data) while the node has none.
#include "audio/AudioX.h"
#include "audio/soundlib/dsp/Stream.h"

#include <memory>

namespace brindle {

std::unique_ptr<dsp::TStream> MakeEffectInputStream(TAudioX& Node);

} // namespace brindle
