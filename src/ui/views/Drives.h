#pragma once
// The drive list of the file browser: "/" first, then the mounted volumes a user keeps files on,
// then the home folder, each shown as its path.
#include <string>
#include <vector>

namespace brindle {

// The list from the text of /proc/mounts: volumes under /media, /mnt and /run/media, and other
// device-backed file systems outside the system's own trees; never proc, sysfs, tmpfs, cgroup,
// devpts, overlay and their kind. Octal escapes in mount points (\040 for a space) are decoded.
std::vector<std::string> DrivesFromMounts(const std::string& ProcMounts, const std::string& Home);

// The list of this machine; entries that are not folders (bind-mounted files) are left out.
std::vector<std::string> LogicalDrives();

} // namespace brindle
