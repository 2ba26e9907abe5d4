#include "support/nyxdecode_run.h"

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

NyxDecodeOutput RunNyxDecode(const std::string& args, const std::string& input, Input how) {
  static std::atomic<int> runs{0};
  const auto stem = std::filesystem::temp_directory_path() /
                    ("nyxdecode_" + std::to_string(::getpid()) + "_" + std::to_string(runs++));
  const std::string in = stem.string() + ".in", out = stem.string() + ".out", err = stem.string() + ".err";
  std::ofstream(in, std::ios::binary) << input;
  const std::string command = std::string(NYXDECODE_PATH) + " " + args + (how == Input::File ? " " : " < ") + in +
                              " > " + out + " 2> " + err;
  const int status = std::system(command.c_str());
  NyxDecodeOutput result;
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::ifstream outFile(out);
  for (std::string line; std::getline(outFile, line);) {
    result.rawLines.push_back(line);
    result.lines.push_back(nlohmann::json::parse(line, nullptr, false));
    if (result.lines.back().is_discarded()) result.lines.back() = nullptr;
  }
  std::stringstream errText;
  errText << std::ifstream(err).rdbuf();
  result.err = errText.str();
  for (const auto& path : {in, out, err}) std::filesystem::remove(path);
  return result;
}
