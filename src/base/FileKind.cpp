#include "base/FileKind.h"

namespace brindle {

std::string SpecialFileKind(const std::filesystem::path& Path) {
    namespace fs = std::filesystem;
    std::error_code Code;
    switch (fs::status(Path, Code).type()) {
    case fs::file_type::directory:
        return "a folder";
    case fs::file_type::fifo:
        return "a named pipe (FIFO)";
    case fs::file_type::block:
    case fs::file_type::character:
        return "a device";
    case fs::file_type::socket:
        return "a socket";
    default:
        return {};
    }
}

} // namespace brindle
