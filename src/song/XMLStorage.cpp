#include "song/XMLStorage.h"

#include "base/Error.h"
#include "base/FileKind.h"
#include "base/StagedFile.h"

#include <pugixml.hpp>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

namespace fs = std::filesystem;

namespace brindle {

void WriteFileAtomically(const std::string& path, const std::string& bytes) {
    TStagedFile staged{std::filesystem::path(path)};
    const std::string temp = staged.GetTemporary().string();
    auto fail = [&](int err) { throw Error("Cannot write " + path + ": " + std::strerror(err)); };

    // The staged file keeps a replaced module's permissions.
    const int fd = ::open(temp.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) fail(errno);
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int err = errno;
            ::close(fd);
            fail(err);
        }
        done += size_t(n);
    }
    // Songs are never lost: the data is on disk before the old file is replaced.
    if (::fsync(fd) != 0) {
        const int err = errno;
        ::close(fd);
        fail(err);
    }
    if (::close(fd) != 0) fail(errno);
    staged.Commit(); // the staged file removes the temporary one on any failure
}

} // namespace brindle

void cXMLStorage::Accept(const pugi::xml_document&, const std::string&) {}

void cXMLStorage::LoadFile(const std::string& path) {
    const std::string kind = brindle::SpecialFileKind(path);
    if (!kind.empty()) throw brindle::Error("XML Load: " + path + " is " + kind + ", not a module file");
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) throw brindle::Error("XML Load: file doesn't exist" + path);

    pugi::xml_document doc;
    const pugi::xml_parse_result parsed = doc.load_file(path.c_str(), pugi::parse_default, pugi::encoding_auto);
    if (!parsed)
        throw brindle::Error("XML Load: " + std::string(parsed.description()) + " at offset " +
                             std::to_string(parsed.offset) + " in " + path);
    Accept(doc, path);

    Document = &doc;
    FileName = path;
    try {
        Load(doc, path);
    } catch (...) {
        Document = nullptr;
        throw;
    }
    Document = nullptr;
}

namespace {
struct StringWriter : pugi::xml_writer {
    std::string text;
    void write(const void* data, size_t size) override { text.append(static_cast<const char*>(data), size); }
};
} // namespace

void cXMLStorage::SaveFile(const std::string& path) {
    WriteFile(path);
    FileName = path;
}

void cXMLStorage::WriteFile(const std::string& path) {
    pugi::xml_document doc;
    Document = &doc;
    try {
        Save(doc, path);
    } catch (...) {
        Document = nullptr;
        throw;
    }
    Document = nullptr;
    StringWriter out;
    doc.save(out, "   ", pugi::format_indent | pugi::format_no_declaration, pugi::encoding_utf8);
    brindle::WriteFileAtomically(path, out.text);
}
