#include "base/StagedFile.h"

#include "base/Error.h"

#include <system_error>
#include <unistd.h>

namespace brindle {

TStagedFile::TStagedFile(std::filesystem::path TargetPath) : Target(std::move(TargetPath)) {
    // Hidden, in the same folder (so the rename stays on one file system), unique per process.
    std::string Name(1, '.');
    Name.append(Target.filename().string()).append(".partial-").append(std::to_string(getpid()));
    Temporary = Target.parent_path() / Name;
}

TStagedFile::~TStagedFile() {
    if (!Committed) {
        std::error_code Ignored;
        std::filesystem::remove(Temporary, Ignored);
    }
}

void TStagedFile::Commit() {
    std::error_code Code;
    std::filesystem::rename(Temporary, Target, Code);
    if (Code) throw Error("Can't write \"" + Target.string() + "\": " + Code.message());
    Committed = true;
}

} // namespace brindle
