#include "ui/views/FolderListing.h"

#include <QString>

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace brindle {

namespace {

bool IsAscii(const std::string& Text) {
    return std::all_of(Text.begin(), Text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

std::vector<std::string> SplitFileExt(const std::string& FileExt) {
    std::vector<std::string> out;
    if (FileExt.empty()) return out;
    size_t start = 0;
    for (;;) {
        const size_t end = FileExt.find(';', start);
        out.push_back(
            FoldCase(FileExt.substr(start, end == std::string::npos ? std::string::npos : end - start)));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return out;
}

std::string FileExtOf(const std::string& Name) {
    const size_t dot = Name.rfind('.');
    return dot == std::string::npos ? std::string() : FoldCase(Name.substr(dot + 1));
}

bool PassesFilter(const std::string& Name, const std::vector<std::string>& Filter) {
    if (Filter.empty()) return true;
    const std::string ext = FileExtOf(Name);
    return std::find(Filter.begin(), Filter.end(), ext) != Filter.end();
}

std::string FoldCase(const std::string& Text) {
    if (IsAscii(Text)) {
        std::string out(Text);
        std::transform(out.begin(), out.end(), out.begin(), AsciiLower);
        return out;
    }
    return QString::fromUtf8(Text.data(), static_cast<qsizetype>(Text.size())).toCaseFolded().toStdString();
}

bool SameNoCase(const std::string& A, const std::string& B) {
    return A == B || FoldCase(A) == FoldCase(B);
}

void SortNoCase(std::vector<std::string>& Names) {
    // Each name is folded once, not once per comparison.
    struct TKeyed {
        std::string Key;
        std::string Name;
    };
    std::vector<TKeyed> keyed;
    keyed.reserve(Names.size());
    for (auto& n : Names) {
        std::string key = FoldCase(n);
        keyed.push_back({std::move(key), std::move(n)});
    }
    std::sort(keyed.begin(), keyed.end(), [](const TKeyed& a, const TKeyed& b) {
        if (int c = a.Key.compare(b.Key)) return c < 0;
        return a.Name < b.Name;
    });
    for (size_t i = 0; i < keyed.size(); ++i)
        Names[i] = std::move(keyed[i].Name);
}

bool ListFolder(const std::string& Dir, const std::vector<std::string>& Filter, TFolderListing& Out,
                std::string& Error) {
    std::error_code ec;
    const fs::path dir(Dir);
    // Checked first: iterating a plain file fails with a less telling reason on some systems.
    const auto st = fs::status(dir, ec);
    if (ec) {
        Error = ec.message();
        return false;
    }
    if (!fs::is_directory(st)) {
        Error = std::make_error_code(std::errc::not_a_directory).message();
        return false;
    }
    TFolderListing listing;
    fs::directory_iterator it(dir, ec);
    if (ec) {
        Error = ec.message();
        return false;
    }
    for (const fs::directory_iterator end; it != end; it.increment(ec)) {
        if (ec) break;
        const fs::directory_entry& entry = *it;
        std::string name = entry.path().filename().string();
        // A link to a folder is a folder; a dangling link is listed as a file.
        std::error_code kind;
        if (entry.is_directory(kind))
            listing.Dirs.push_back(std::move(name));
        else if (PassesFilter(name, Filter))
            listing.Files.push_back(std::move(name));
    }
    if (ec) {
        Error = ec.message();
        return false;
    }
    SortNoCase(listing.Dirs);
    SortNoCase(listing.Files);
    listing.IsRoot = !dir.has_relative_path();
    Out = std::move(listing);
    return true;
}

std::string NormalDir(const std::string& Dir) {
    if (Dir.empty()) return Dir;
    std::error_code ec;
    fs::path p = fs::path(Dir);
    if (!p.is_absolute()) {
        fs::path abs = fs::absolute(p, ec);
        if (!ec) p = abs;
    }
    std::string out = p.lexically_normal().string();
    while (out.size() > 1 && out.back() == '/')
        out.pop_back();
    return out;
}

std::string JoinPath(const std::string& Dir, const std::string& Name) {
    if (Dir.empty() || Dir.back() == '/') return Dir + Name;
    return Dir + "/" + Name;
}

std::string ParentDir(const std::string& Dir) {
    const size_t slash = Dir.rfind('/');
    if (slash == std::string::npos) return Dir;
    return slash == 0 ? std::string("/") : Dir.substr(0, slash);
}

std::string LastComponent(const std::string& Path) {
    const size_t slash = Path.rfind('/');
    return slash == std::string::npos ? Path : Path.substr(slash + 1);
}

} // namespace brindle
