// COM port numbers to device paths. The host sets the paths it knows (from its
// command line or configuration); a number without an entry is the platform's
// n-th serial port, /dev/ttyS<n-1>.
#pragma once

#include <map>
#include <string>

namespace ComPortMap {

// Maps COM n to a device path; an empty path removes the entry.
void Set(int n, const std::string& path);
// The device path of COM n; empty for n <= 0.
std::string Path(int n);
// Every entry the host set, by number.
std::map<int, std::string> Entries();
void Clear();

}  // namespace ComPortMap
