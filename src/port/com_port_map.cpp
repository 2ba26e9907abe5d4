#include "port/com_port_map.h"

#include <mutex>

namespace ComPortMap {

namespace {
std::mutex g_lock;
std::map<int, std::string>& Map() {
  static std::map<int, std::string> map;
  return map;
}
}  // namespace

void Set(int n, const std::string& path) {
  std::lock_guard guard(g_lock);
  if (path.empty()) {
    Map().erase(n);
  } else {
    Map()[n] = path;
  }
}

std::string Path(int n) {
  if (n <= 0) return {};
  std::lock_guard guard(g_lock);
  const auto it = Map().find(n);
  if (it != Map().end()) return it->second;
  return "/dev/ttyS" + std::to_string(n - 1);
}

std::map<int, std::string> Entries() {
  std::lock_guard guard(g_lock);
  return Map();
}

void Clear() {
  std::lock_guard guard(g_lock);
  Map().clear();
}

}  // namespace ComPortMap
