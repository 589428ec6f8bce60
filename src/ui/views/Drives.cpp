#include "ui/views/Drives.h"

#include <QDir>
#include <QStorageInfo>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string_view>

namespace brindle {

namespace {

constexpr std::array<std::string_view, 27> PseudoTypes = {
    "proc",     "sysfs",     "tmpfs",          "devtmpfs", "devpts",     "cgroup",
    "cgroup2",  "mqueue",    "debugfs",        "tracefs",  "securityfs", "pstore",
    "bpf",      "hugetlbfs", "fusectl",        "configfs", "autofs",     "binfmt_misc",
    "nsfs",     "ramfs",     "rpc_pipefs",     "efivarfs", "selinuxfs",  "overlay",
    "squashfs", "nfsd",      "fuse.gvfsd-fuse"};

// Places a user picks volumes from, whatever their file system.
constexpr std::array<std::string_view, 3> UserTrees = {"/media/", "/mnt/", "/run/media/"};
// The system's own trees: a device mounted there is not a place for samples.
constexpr std::array<std::string_view, 9> SystemTrees = {"/proc", "/sys", "/dev",     "/run", "/boot",
                                                         "/snap", "/etc", "/var/lib", "/usr"};

bool Under(const std::string& Path, std::string_view Tree) {
    if (Tree.back() == '/') return Path.size() > Tree.size() && Path.compare(0, Tree.size(), Tree) == 0;
    return Path.compare(0, Tree.size(), Tree) == 0 &&
           (Path.size() == Tree.size() || Path[Tree.size()] == '/');
}

std::string Unescape(const std::string& Field) {
    std::string out;
    out.reserve(Field.size());
    for (size_t i = 0; i < Field.size(); ++i) {
        const auto isOctal = [&](size_t k) { return k < Field.size() && Field[k] >= '0' && Field[k] <= '7'; };
        if (Field[i] == '\\' && isOctal(i + 1) && isOctal(i + 2) && isOctal(i + 3)) {
            out += static_cast<char>((Field[i + 1] - '0') * 64 + (Field[i + 2] - '0') * 8 +
                                     (Field[i + 3] - '0'));
            i += 3;
        } else {
            out += Field[i];
        }
    }
    return out;
}

bool Keep(const std::string& Device, const std::string& Point, const std::string& Type) {
    if (Point == "/" || Point.empty() || Point.front() != '/') return false;
    if (std::any_of(UserTrees.begin(), UserTrees.end(), [&](std::string_view t) { return Under(Point, t); }))
        return true;
    if (std::find(PseudoTypes.begin(), PseudoTypes.end(), Type) != PseudoTypes.end()) return false;
    if (Device.rfind("/dev/", 0) != 0) return false;
    return std::none_of(SystemTrees.begin(), SystemTrees.end(),
                        [&](std::string_view t) { return Under(Point, t); });
}

void AddOnce(std::vector<std::string>& List, const std::string& Path) {
    if (!Path.empty() && std::find(List.begin(), List.end(), Path) == List.end()) List.push_back(Path);
}

} // namespace

std::vector<std::string> DrivesFromMounts(const std::string& ProcMounts, const std::string& Home) {
    std::vector<std::string> drives{"/"};
    std::istringstream lines(ProcMounts);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string device, point, type;
        if (!(fields >> device >> point >> type)) continue;
        point = Unescape(point);
        while (point.size() > 1 && point.back() == '/')
            point.pop_back();
        if (Keep(device, point, type)) AddOnce(drives, point);
    }
    AddOnce(drives, Home);
    return drives;
}

std::vector<std::string> LogicalDrives() {
    const std::string home = QDir::homePath().toStdString();
    std::vector<std::string> drives;
#ifdef __linux__
    std::ifstream file("/proc/mounts");
    std::stringstream text;
    if (file) text << file.rdbuf();
    drives = DrivesFromMounts(text.str(), home);
#else
    drives.push_back("/");
    for (const QStorageInfo& v : QStorageInfo::mountedVolumes())
        if (v.isValid() && v.isReady()) AddOnce(drives, v.rootPath().toStdString());
    AddOnce(drives, home);
#endif
    std::erase_if(drives, [](const std::string& d) {
        std::error_code ec;
        return d != "/" && !std::filesystem::is_directory(d, ec);
    });
    return drives;
}

} // namespace brindle
