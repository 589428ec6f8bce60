#include "audio/soundlib/LameEncoder.h"

#include "base/Error.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <sstream>

namespace brindle {

namespace {
void Put32(std::uint8_t* P, std::uint32_t V) {
    for (int i = 0; i < 4; ++i) P[i] = static_cast<std::uint8_t>(V >> (8 * i));
}
void Put16(std::uint8_t* P, std::uint16_t V) {
    P[0] = static_cast<std::uint8_t>(V);
    P[1] = static_cast<std::uint8_t>(V >> 8);
}

// A WAV header for a stream of unknown length: the sizes say "as long as it goes".
std::array<std::uint8_t, 44> StreamHeader(int SampleRate, int Channels) {
    std::array<std::uint8_t, 44> H{};
    std::memcpy(H.data(), "RIFF", 4);
    Put32(H.data() + 4, 0xFFFFFFFFu);
    std::memcpy(H.data() + 8, "WAVEfmt ", 8);
    Put32(H.data() + 16, 16);
    Put16(H.data() + 20, 1); // PCM
    Put16(H.data() + 22, static_cast<std::uint16_t>(Channels));
    Put32(H.data() + 24, static_cast<std::uint32_t>(SampleRate));
    Put32(H.data() + 28, static_cast<std::uint32_t>(SampleRate * Channels * 2));
    Put16(H.data() + 32, static_cast<std::uint16_t>(Channels * 2));
    Put16(H.data() + 34, 16);
    std::memcpy(H.data() + 36, "data", 4);
    Put32(H.data() + 40, 0xFFFFFFFFu);
    return H;
}

std::string LastLine(std::string Text) {
    while (!Text.empty() && (Text.back() == '\n' || Text.back() == '\r' || Text.back() == ' ')) Text.pop_back();
    const auto At = Text.find_last_of("\r\n");
    return At == std::string::npos ? Text : Text.substr(At + 1);
}
} // namespace

std::vector<std::string> TLameEncoder::Arguments(const TLameOptions& Options, const std::string& Output) {
    std::vector<std::string> Args{Options.Program, "-m", Options.Channels == 1 ? "m" : "j", "-b",
                                  std::to_string(Options.KBitRate)};
    std::istringstream Keys(Options.Keys);
    for (std::string Key; Keys >> Key;) Args.push_back(Key);
    Args.push_back("-");
    Args.push_back(Output);
    return Args;
}

TLameEncoder::TLameEncoder(const std::filesystem::path& Target, int SampleRate, int Channels,
                           const TLameOptions& Options)
    : File(Target) {
    if (!Lame.Start(Arguments(Options, File.GetTemporary().string())))
        throw Error("MP3 export needs the lame encoder, but the program \"" + Options.Program +
                    "\" was not found: install lame (Debian package \"lame\") or export to WAV instead");
    if (Options.RealTime && !Lame.RaisePriority())
        throw Error(std::string("Can't give the lame encoder real-time priority: ") + std::strerror(errno));
    const auto Header = StreamHeader(SampleRate, Channels);
    if (!Lame.Write(Header.data(), Header.size())) Failed("stopped before reading any sound");
}

void TLameEncoder::Failed(const std::string& What) {
    Lame.CloseInput();
    const int Code = Lame.Wait();
    std::string Text = "The lame encoder " + What + " (exit code " + std::to_string(Code) + ")";
    const std::string Said = LastLine(Lame.Output());
    if (!Said.empty()) Text += ": " + Said;
    throw Error(Text + "; \"" + File.GetTarget().string() + "\" was not written");
}

void TLameEncoder::Write(const std::int16_t* Samples, std::size_t Count) {
    if (!Lame.Write(Samples, Count * sizeof(std::int16_t))) Failed("stopped while encoding");
}

void TLameEncoder::Finish() {
    Lame.CloseInput();
    if (Lame.Wait() != 0) Failed("failed");
    std::error_code Code;
    if (!std::filesystem::exists(File.GetTemporary(), Code)) Failed("wrote no file");
    File.Commit();
}

} // namespace brindle
