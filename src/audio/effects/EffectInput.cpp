#include "audio/effects/EffectInput.h"

#include <algorithm>
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

bool StreamGivesFloats(const dsp::TStream* Stream, const TAudioX& Node) {
    const TAudioX* input = Node.GetInput();
    return Stream && input && input->GivesFloats();
}

int PopStreamData(dsp::TStream& Stream, const TAudioX& Node, void* Buf, int BufLen) {
    const int got =
        StreamGivesFloats(&Stream, Node) ? Stream.ReadSaturated(Buf, BufLen) : Stream.Read(Buf, BufLen);
    return got < 0 ? 0 : got;
}

int PopStreamFloats(dsp::TStream* Stream, TAudioX& Node, float* Buf, int Frames) {
    if (!StreamGivesFloats(Stream, Node)) return Node.TAudioX::PopFloats(Buf, Frames);
    return std::max(Stream->ReadFloats(Buf, Frames), 0);
}

} // namespace brindle
