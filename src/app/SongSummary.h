#pragma once
// Readable and JSON views of a song, for brindle-cli info.
#include <nlohmann/json.hpp>

#include <string>

class cSequencer;

namespace brindle {

nlohmann::ordered_json SongToJson(const cSequencer& song);
std::string SongSummaryText(const cSequencer& song);
// An equalizer band's stored value as the gain heard, in dB.
double EqGainDb(float Stored);
// The shortest decimal that reads back as the same single: 0.8f -> 0.8.
double ShortestFloat(float value);

} // namespace brindle
