#include "song/XMLStorage.h"

#include "base/Error.h"

#include <pugixml.hpp>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace brindle {

namespace {
std::string osError(const std::string& what, const std::string& path, int err) {
    return what + " " + path + ": " + std::strerror(err);
}
} // namespace

void WriteFileAtomically(const std::string& path, const std::string& bytes) {
    const fs::path target(path);
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    std::random_device rd;
    std::string tempName = target.filename().string();
    tempName.insert(0, 1, '.');
    tempName += ".tmp" + std::to_string(rd() % 1000000);
    const fs::path temp = folder / tempName;

    mode_t mode = 0644;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) mode = st.st_mode & 07777;

    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0) throw Error(osError("Cannot write", path, errno));
    auto fail = [&](int err) {
        ::close(fd);
        ::unlink(temp.c_str());
        throw Error(osError("Cannot write", path, err));
    };
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            fail(errno);
        }
        done += size_t(n);
    }
    if (::fsync(fd) != 0) fail(errno);
    if (::close(fd) != 0) {
        ::unlink(temp.c_str());
        throw Error(osError("Cannot write", path, errno));
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        const int err = errno;
        ::unlink(temp.c_str());
        throw Error(osError("Cannot write", path, err));
    }
}

} // namespace brindle

void cXMLStorage::Accept(const pugi::xml_document&, const std::string&) {}

void cXMLStorage::LoadFile(const std::string& path) {
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
    FileName = path;
}
