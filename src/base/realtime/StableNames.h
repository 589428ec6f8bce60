#pragma once
// File names that the audio thread can point at and the UI can read at any later time: each
// distinct name is stored once for the life of the process and never moves. Interning takes a
// lock and may allocate, so it happens where a file is loaded, never on the audio thread.
#include <string>

namespace brindle {

const std::string* StableName(const std::string& Text);

} // namespace brindle
