#include "audio/effects/EffectInput.h"

#include <cstring>

namespace brindle {

std::unique_ptr<dsp::TStream> MakeEffectInputStream(TAudioX& Node, std::source_location Where) {
    auto stream = dsp::TStream::Create(Node.GetSampleRate(), Node.GetChannels(), [&Node](void* Buf, int Len) {
        if (TAudioX* input = Node.GetInput()) return input->PopData(Buf, Len);
        std::memset(Buf, 0, static_cast<size_t>(Len));
        return 0;
    });
    if (!stream) throw dsp::StreamFailure("can't create ReadStream", Where);
    stream->SetFloatPull([&Node](float* Buf, int Frames) {
        TAudioX* input = Node.GetInput();
        return input ? input->PopFloats(Buf, Frames) : 0;
    });
    return stream;
}

} // namespace brindle
