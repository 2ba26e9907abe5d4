// Runs the nyxdecode program as a user would and collects what it printed.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

struct NyxDecodeOutput {
  int exitCode = -1;
  std::vector<std::string> rawLines;    // standard output, line by line
  std::vector<nlohmann::json> lines;    // the same lines parsed; null where a line is not JSON
  std::string err;                      // standard error
};

enum class Input { File, Stdin };

// nyxdecode ARGS with the input as a file argument (appended) or on standard input.
NyxDecodeOutput RunNyxDecode(const std::string& args, const std::string& input, Input how = Input::File);
