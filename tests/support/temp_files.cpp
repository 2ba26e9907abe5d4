#include "support/temp_files.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

std::string TempPath(const std::string& name) {
  return (fs::temp_directory_path() / ("nyx_" + std::to_string(::getpid()) + "_" + name)).string();
}

TempDir::TempDir(const std::string& name) : m_path(TempPath(name)) { fs::create_directories(m_path); }

TempDir::~TempDir() {
  std::error_code ignored;
  fs::remove_all(m_path, ignored);
}

TempFile::TempFile(const std::string& name) : m_path(TempPath(name)) { fs::remove(m_path); }

TempFile::~TempFile() {
  std::error_code ignored;
  fs::remove(m_path, ignored);
}

std::string ReadFile(const std::string& path) {
  std::stringstream text;
  text << std::ifstream(path).rdbuf();
  return text.str();
}

std::vector<nlohmann::json> ParseJsonLines(const std::string& text) {
  std::vector<nlohmann::json> out;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) out.push_back(nlohmann::json::parse(line));
  return out;
}

std::vector<nlohmann::json> ReadJsonLines(const std::string& path) { return ParseJsonLines(ReadFile(path)); }
