// Files of a test's own in the temporary directory, named after the process
// so that tests running side by side never share one.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

// A path in the temporary directory for this process; nothing is created.
std::string TempPath(const std::string& name);

// A directory removed with its files at the end of the scope.
class TempDir {
 public:
  explicit TempDir(const std::string& name = "dir");
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& Path() const { return m_path; }
  std::string operator/(const std::string& name) const { return m_path + "/" + name; }

 private:
  std::string m_path;
};

// A file or FIFO path, removed before use and at the end of the scope.
class TempFile {
 public:
  explicit TempFile(const std::string& name);
  ~TempFile();
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  const std::string& Path() const { return m_path; }

 private:
  std::string m_path;
};

std::string ReadFile(const std::string& path);

// One JSON value per line, as the programs write records and events.
std::vector<nlohmann::json> ParseJsonLines(const std::string& text);
std::vector<nlohmann::json> ReadJsonLines(const std::string& path);
