// Tables under tests/data/time: one case a line, fields separated by blanks and
// read in order by the test; # starts a comment, kept in the line for traces.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "time/time_fit_buf.h"

struct TimeRow {
  std::string line;
  std::istringstream fields;
  // The rest of the row, blanks inside kept; "-" stands for an empty text.
  std::string Rest() {
    std::string text;
    std::getline(fields >> std::ws, text);
    return text == "-" ? "" : text;
  }
};

inline std::vector<TimeRow> TimeRows(const char* name) {
  std::ifstream in(std::filesystem::path(NYX_SOURCE_DIR) / "tests" / "data" / "time" / name);
  std::vector<TimeRow> rows;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::string fields = line.substr(0, line.find('#'));
    fields.erase(fields.find_last_not_of(' ') + 1);
    rows.push_back({line, std::istringstream(fields)});
  }
  EXPECT_FALSE(rows.empty()) << name;
  return rows;
}

inline CBufEntry Newest(CTimeFitBuf& buf) {
  CBufEntry e;
  EXPECT_TRUE(buf.GetLast(e));
  return e;
}
