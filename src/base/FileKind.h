#pragma once
// What stands at a path that is not a regular file, for messages that say so instead of a
// misleading "doesn't exist" or an open that blocks on a pipe.
#include <filesystem>
#include <string>

namespace brindle {

// "a folder", "a named pipe (FIFO)", "a device", "a socket"; empty for a regular file or when
// nothing is there. Symbolic links are followed.
std::string SpecialFileKind(const std::filesystem::path& Path);

} // namespace brindle
