// Decoders against capture files: every NAME.jsonl under tests/data has a
// capture beside it, fed through a port using the decoder it names; the
// records, reports and owner calls must be the ones listed (tests/data/README.md).
// NYX_CAPTURE_WRITE=1 rewrites the listed items from what the decoders give now,
// comments kept in place: review the diff.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "comms/ecomm.h"
#include "port/port.h"
#include "support/capture.h"

namespace {

namespace fs = std::filesystem;
using json = nlohmann::ordered_json;  // keys in the order the records write them

fs::path CaptureCaseRoot() { return fs::path(NYX_SOURCE_DIR) / "tests" / "data"; }

std::vector<fs::path> CaptureCaseList() {
  std::vector<fs::path> cases;
  for (const auto& entry : fs::recursive_directory_iterator(CaptureCaseRoot())) {
    if (entry.path().extension() == ".jsonl") cases.push_back(entry.path());
  }
  std::sort(cases.begin(), cases.end());
  return cases;
}

std::string CaptureCaseName(const testing::TestParamInfo<fs::path>& info) {
  std::string name = fs::relative(info.param, CaptureCaseRoot()).replace_extension().string();
  std::replace_if(name.begin(), name.end(), [](unsigned char ch) { return !std::isalnum(ch); }, '_');
  return name;
}

// The bytes of the capture beside an expected file; a .hex capture holds them
// as hex digit pairs, with # comments.
std::string CaptureBytes(const fs::path& expected) {
  for (const auto& sibling : fs::directory_iterator(expected.parent_path())) {
    const fs::path& path = sibling.path();
    if (path.stem() != expected.stem() || path == expected) continue;
    std::ifstream in(path, std::ios::binary);
    if (path.extension() != ".hex") return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::string bytes;
    for (std::string line; std::getline(in, line);) {
      std::istringstream words(line.substr(0, line.find('#')));
      for (std::string word; words >> word;) bytes += static_cast<char>(std::stoi(word, nullptr, 16));
    }
    return bytes;
  }
  return {};
}

// Numbers agree to 1e-7 of their size (records keep many values in single
// precision); everything else exactly, and both sides have the same keys.
bool CaptureCaseSame(const json& got, const json& want) {
  const json a = got.flatten(), b = want.flatten();
  if (a.size() != b.size()) return false;
  for (const auto& [key, value] : b.items()) {
    if (!a.contains(key)) return false;
    const json& other = a.at(key);
    if (other.is_number() && value.is_number()) {
      const double w = value.get<double>();
      if (std::fabs(other.get<double>() - w) > 1e-7 * std::max(1.0, std::fabs(w))) return false;
    } else if (other != value) {
      return false;
    }
  }
  return true;
}

// The owner of the port: keeps the times handed up.
class CaptureOwner : public CEComm {
 public:
  void ProcessZDA(CTm80& time, const SYSTEMTIME&) override { m_calls.push_back({{"zda", time.GetValue()}}); }
  std::vector<json> m_calls;
};

class CaptureCase : public testing::TestWithParam<fs::path> {};

TEST_P(CaptureCase, GivesTheListedRecords) {
  json header;
  std::vector<json> want;
  std::vector<std::string> lead(1);  // the lines before each item, the header's first
  std::ifstream in(GetParam());
  for (std::string line; std::getline(in, line);) {
    lead.back() += line + '\n';
    if (line.empty() || line[0] == '#') continue;
    (header.is_null() ? header : want.emplace_back()) = json::parse(line);
    lead.emplace_back();
  }
  const std::string bytes = CaptureBytes(GetParam());
  ASSERT_FALSE(bytes.empty()) << "no capture beside " << GetParam();
  const int bank = header.value("bank", 3);

  ScopedClock clock(header.value("clock", 1000.0));
  ScopedReports reports;
  RecordCollector host;
  CaptureOwner owner;
  CEComm::InitDecode();
  const CDecodeType* type = CEComm::FindDecode(header.value("decoder", ""));
  ASSERT_NE(type, nullptr) << header.dump();
  CPort port;
  port.m_pOwner = &owner;
  port.m_decode = type->m_index;
  port.m_bank = bank;
  port.m_sync = header.value("sync", 1);
  port.m_syncChar = static_cast<unsigned char>(header.value("sync_char", 10));
  port.SetDecode();
  json got = {{"results", json::array()}, {"lights", json::array()}, {"shown", json::array()}, {"times", json::array()}};
  // After each message: its records (the raw message, kind 0, gives its time), then its reports and owner calls.
  std::vector<json> items;
  std::size_t records = 0, reportCount = 0, calls = 0;
  double messageTime = -1.0;
  const auto collect = [&] {
    const auto received = host.All();
    for (; records < received.size(); ++records) {
      if (received[records].line.empty()) continue;
      json record = json::parse(received[records].line);
      if (received[records].kind == 0) {
        messageTime = record.at("time");
        got["times"].push_back(messageTime);
        continue;
      }
      if (record.at("time") == messageTime) record.erase("time");
      if (record.at("bank") == bank) record.erase("bank");
      items.push_back(record);
    }
    static const char* const kKinds[] = {"status", "alarm", "comms", "console", "msgbox"};
    const auto all = reports->All();
    for (; reportCount < all.size(); ++reportCount) {
      const Nyx::Report& r = all[reportCount];
      items.push_back({{"report", kKinds[static_cast<int>(r.kind)]}, {"id", r.id}, {"level", r.level}, {"text", r.text}});
    }
    for (; calls < owner.m_calls.size(); ++calls) items.push_back(owner.m_calls[calls]);
  };
  double t = 100.0;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (port.NewByte(t, static_cast<unsigned char>(bytes[i])) == 1) {
      got["results"].push_back(port.m_lastResult.value_or(-99));
      got["lights"].push_back(port.m_status);
      got["shown"].push_back(port.m_lastMsg);
      collect();
    }
    if (port.m_sync == 0) t = 100.0 + static_cast<double>(i + 1) / 100.0;
    if (bytes[i] == '\n' && port.m_sync != 0) t += 1.0;
  }
  collect();
  ASSERT_FALSE(got["results"].empty()) << "no message framed";

  if (std::getenv("NYX_CAPTURE_WRITE")) {
    std::string text = lead.front();
    for (std::size_t i = 0; i < items.size(); ++i) {
      text += (i < want.size() ? lead[i + 1].substr(0, lead[i + 1].rfind('\n', lead[i + 1].size() - 2) + 1) : "");
      text += items[i].dump() + '\n';
    }
    text += lead.back();
    std::ofstream(GetParam()) << text;
    return;
  }

  for (std::size_t i = 0; i < std::max(items.size(), want.size()); ++i) {
    EXPECT_TRUE(i < items.size() && i < want.size() && CaptureCaseSame(items[i], want[i]))
        << "item " << i << "\n  got:  " << (i < items.size() ? items[i].dump() : "nothing")
        << "\n  want: " << (i < want.size() ? want[i].dump() : "nothing");
  }
  for (const auto& [key, value] : header.items()) {
    if (key == "result") {
      EXPECT_EQ(got["results"], json(got["results"].size(), value)) << "every message's result";
    } else if (got.contains(key)) {
      EXPECT_EQ(got[key], value) << key;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Data, CaptureCase, testing::ValuesIn(CaptureCaseList()), CaptureCaseName);

}  // namespace
