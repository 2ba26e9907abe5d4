// Decoders against capture files: every NAME.jsonl under tests/data has a
// capture beside it, fed through a port using the decoder it names; the
// records, reports and owner calls must be the ones listed. tests/data/README.md
// describes the files; NYX_CAPTURE_WRITE=1 rewrites every .jsonl from what the
// decoders give now (comments and header keys kept): review the diff.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "comms/ecomm.h"
#include "port/port.h"
#include "host/records.h"
#include "support/capture.h"

namespace {

namespace fs = std::filesystem;
using json = nlohmann::ordered_json;  // keys in the order the records write them

fs::path CaptureCaseRoot() { return fs::path(NYX_SOURCE_DIR) / "tests" / "data"; }

// Every expected file, sorted.
std::vector<fs::path> CaptureCaseList() {
  std::vector<fs::path> cases;
  for (const auto& entry : fs::recursive_directory_iterator(CaptureCaseRoot())) {
    if (entry.path().extension() == ".jsonl") cases.push_back(entry.path());
  }
  std::sort(cases.begin(), cases.end());
  return cases;
}

// The capture beside an expected file: the other file of its name.
fs::path CaptureOf(const fs::path& expected) {
  for (const auto& sibling : fs::directory_iterator(expected.parent_path())) {
    if (sibling.path().stem() == expected.stem() && sibling.path() != expected) return sibling.path();
  }
  return {};
}

std::string CaptureCaseName(const testing::TestParamInfo<fs::path>& info) {
  std::string name = fs::relative(info.param, CaptureCaseRoot()).replace_extension().string();
  std::replace_if(name.begin(), name.end(), [](unsigned char ch) { return !std::isalnum(ch); }, '_');
  return name;
}

std::string CaptureBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  const std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (path.extension() != ".hex") return raw;
  std::string bytes, digits;
  bool comment = false;
  for (const char ch : raw) {
    if (ch == '\n') comment = false;
    if (ch == '#') comment = true;
    if (comment || !std::isxdigit(static_cast<unsigned char>(ch))) continue;
    digits += ch;
    if (digits.size() == 2) {
      bytes += static_cast<char>(std::stoi(digits, nullptr, 16));
      digits.clear();
    }
  }
  return bytes;
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

void CaptureCaseCompare(const std::vector<json>& got, const std::vector<json>& want) {
  for (std::size_t i = 0; i < std::max(got.size(), want.size()); ++i) {
    const bool both = i < got.size() && i < want.size();
    EXPECT_TRUE(both && CaptureCaseSame(got[i], want[i]))
        << "item " << i << "\n  got:  " << (i < got.size() ? got[i].dump() : "nothing")
        << "\n  want: " << (i < want.size() ? want[i].dump() : "nothing");
  }
}

// The owner of the port: keeps the times handed up, in the report list.
class CaptureOwner : public CEComm {
 public:
  void ProcessZDA(CTm80& time, const SYSTEMTIME&) override { m_calls.push_back({{"zda", time.GetValue()}}); }
  std::vector<json> m_calls;
};

// The host: every record as its JSON line (the raw message, kind 0, before
// each message's records).
class CaptureHost : public CNyxWnd {
 public:
  CaptureHost() {
    Join(s_snsrRx, this);
    Join(s_infoRx, this);
  }
  ~CaptureHost() override { LeaveReceiverLists(); }
  void OnSnsrMsg(int kind, void* record) override { Keep(kind, record); }
  void OnInfoMsg(int kind, void* data) override {
    if (kind == kInfoTargetData || kind == kInfoStallPing) Keep(kind, data);
  }
  std::vector<std::pair<int, json>> m_records;

 private:
  void Keep(int kind, void* data) {
    const CSnsr& record = *static_cast<const CSnsr*>(data);
    const std::string line = RecordJsonLine(kind, record);
    // The line writer and the JSON document of a record give the same bytes.
    EXPECT_EQ(line, RecordJson(kind, record).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
    m_records.emplace_back(kind, json::parse(line));
  }
};

// An expected file: the header, then the records, reports and owner calls in
// the order they come; its comment lines stay before the item they preceded.
struct CaptureExpected {
  json header;
  std::vector<json> items;
  std::vector<std::pair<std::size_t, std::string>> comments;  // item index (the header is 0), line
};

CaptureExpected ReadExpected(const fs::path& path) {
  CaptureExpected out;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    const std::size_t index = out.items.size() + (out.header.is_null() ? 0 : 1);
    if (line.empty() || line[0] == '#') {
      out.comments.emplace_back(index, line);
    } else if (out.header.is_null()) {
      out.header = json::parse(line);
    } else {
      out.items.push_back(json::parse(line));
    }
  }
  return out;
}

void WriteExpected(const fs::path& path, const CaptureExpected& old, json header, const std::vector<json>& got) {
  std::vector<json> items = {std::move(header)};
  items.insert(items.end(), got.begin(), got.end());
  std::ofstream out(path);
  std::size_t next = 0;
  for (std::size_t i = 0; i <= items.size(); ++i) {
    for (; next < old.comments.size() && (old.comments[next].first <= i || i == items.size()); ++next) {
      out << old.comments[next].second << '\n';
    }
    if (i < items.size()) out << items[i].dump(-1, ' ', false, json::error_handler_t::replace) << '\n';
  }
}

class CaptureCase : public testing::TestWithParam<fs::path> {};

TEST_P(CaptureCase, GivesTheListedRecords) {
  const fs::path capture = CaptureOf(GetParam());
  ASSERT_FALSE(capture.empty()) << "no capture beside " << GetParam();
  const CaptureExpected expected = ReadExpected(GetParam());
  const json& header = expected.header;
  const std::string bytes = CaptureBytes(capture);
  const int bank = header.value("bank", 3);

  ScopedClock clock(header.value("clock", 1000.0));
  ScopedReports reports;
  CaptureHost host;
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
  // After each message: its records, then its reports and owner calls.
  std::vector<json> items;
  std::size_t records = 0, reportCount = 0, calls = 0;
  double messageTime = -1.0;
  const auto collect = [&] {
    for (; records < host.m_records.size(); ++records) {
      auto& [kind, record] = host.m_records[records];
      if (kind == 0) {
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
      const char* kind = kKinds[static_cast<int>(r.kind)];
      items.push_back({{"report", kind}, {"id", r.id}, {"level", r.level}, {"text", r.text}});
    }
    for (; calls < owner.m_calls.size(); ++calls) items.push_back(owner.m_calls[calls]);
  };
  double t = 100.0;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const char byte = bytes[i];
    if (port.NewByte(t, static_cast<unsigned char>(byte)) == 1) {
      got["results"].push_back(port.m_lastResult.value_or(-99));
      got["lights"].push_back(port.m_status);
      got["shown"].push_back(port.m_lastMsg);
      collect();
    }
    if (port.m_sync == 0) t = 100.0 + static_cast<double>(i + 1) / 100.0;
    if (byte == '\n' && port.m_sync != 0) t += 1.0;
  }
  collect();
  EXPECT_FALSE(got["results"].empty()) << "no message framed";
  // "result" stands for a list of one value.
  const json results = got["results"];
  const bool same = std::all_of(results.begin(), results.end(), [&](const json& r) { return r == results[0]; });
  if (header.contains("result")) got["result"] = same && !results.empty() ? results.front() : results;

  const char* write = std::getenv("NYX_CAPTURE_WRITE");
  if (write && *write && *write != '0') {
    json newHeader = header;
    for (const char* key : {"result", "results", "lights", "shown", "times"}) {
      if (header.contains(key)) newHeader[key] = got[key];
    }
    if (!header.contains("result")) newHeader["results"] = got["results"];
    WriteExpected(GetParam(), expected, newHeader, items);
    return;
  }
  CaptureCaseCompare(items, expected.items);
  for (const char* key : {"result", "results", "lights", "shown", "times"}) {
    if (header.contains(key)) {
      EXPECT_EQ(got[key], header[key]) << key;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Data, CaptureCase, testing::ValuesIn(CaptureCaseList()), CaptureCaseName);

}  // namespace
