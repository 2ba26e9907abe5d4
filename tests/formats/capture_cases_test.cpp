// Decoders against capture files: every NAME.jsonl under tests/data has a
// capture NAME.<ext> beside it (raw bytes as the device sends them; a .hex
// capture holds them as hex digits, '#' comments and blanks ignored), which is
// fed through a port using the decoder the .jsonl names; the records, reports
// and owner calls must be the ones listed.
//
// NAME.jsonl: '#' lines are comments; the first JSON line is the header
//   {"decoder":"NMEA RMC"}               registry name; optional keys:
//   "results":[1,-1,0] or "result":-1    each (every) message's decoder result
//   "lights":[3,2]  "shown":["text"]     the port's light and text after each message
//   "times":[100.03]                     each message's time
//   "sync":0 (binary framing)  "sync_char":13  "bank":3  "clock":1000 (PC clock,
//   seconds after 1980-01-01)
// then one line per record, in order, without the message's "time" and the port's "bank" ({"kind":8,
// "class":"CSnsrAlt","depth":2.3}), per host report ({"report":"status",
// "id":3021,"level":2,"text":"..."}) and per time handed to the port's owner
// ({"zda":710280930.0}). Message k (from 0) of a text capture arrives at host
// time 100 + k; byte k of a binary one at 100 + k / 100.
//
// NYX_CAPTURE_WRITE=1 rewrites every .jsonl from what the decoders give now
// (comments and header keys kept): review the diff before committing it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <sstream>
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

struct CaptureCaseFiles {
  fs::path expected;
  fs::path capture;
};

void PrintTo(const CaptureCaseFiles& files, std::ostream* os) { *os << files.expected.string(); }

fs::path CaptureCaseRoot() { return fs::path(NYX_SOURCE_DIR) / "tests" / "data"; }

std::vector<CaptureCaseFiles> CaptureCaseList() {
  std::vector<CaptureCaseFiles> cases;
  if (!fs::exists(CaptureCaseRoot())) return cases;
  for (const auto& entry : fs::recursive_directory_iterator(CaptureCaseRoot())) {
    if (entry.path().extension() != ".jsonl") continue;
    CaptureCaseFiles files{entry.path(), {}};
    for (const auto& sibling : fs::directory_iterator(entry.path().parent_path())) {
      if (sibling.path().stem() == entry.path().stem() && sibling.path() != entry.path()) files.capture = sibling.path();
    }
    cases.push_back(files);
  }
  std::sort(cases.begin(), cases.end(), [](const auto& a, const auto& b) { return a.expected < b.expected; });
  return cases;
}

std::string CaptureCaseName(const testing::TestParamInfo<CaptureCaseFiles>& info) {
  std::string name = fs::relative(info.param.expected, CaptureCaseRoot()).replace_extension().string();
  for (char& ch : name) {
    if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
  }
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
  if (got.is_number() && want.is_number()) {
    const double a = got.get<double>(), b = want.get<double>();
    return std::fabs(a - b) <= 1e-7 * std::max(1.0, std::fabs(b));
  }
  if (got.type() != want.type() || got.size() != want.size()) return false;
  if (got.is_object()) {
    for (const auto& [key, value] : want.items()) {
      if (!got.contains(key) || !CaptureCaseSame(got.at(key), value)) return false;
    }
    return true;
  }
  if (got.is_array()) {
    for (std::size_t i = 0; i < got.size(); ++i) {
      if (!CaptureCaseSame(got[i], want[i])) return false;
    }
    return true;
  }
  return got == want;
}

void CaptureCaseCompare(const std::vector<json>& got, const std::vector<json>& want, const char* what) {
  const std::size_t common = std::min(got.size(), want.size());
  for (std::size_t i = 0; i < common; ++i) {
    EXPECT_TRUE(CaptureCaseSame(got[i], want[i])) << what << ' ' << i << "\n  got:  " << got[i].dump()
                                                  << "\n  want: " << want[i].dump();
  }
  for (std::size_t i = common; i < got.size(); ++i) ADD_FAILURE() << what << ' ' << i << " not expected: " << got[i].dump();
  for (std::size_t i = common; i < want.size(); ++i) ADD_FAILURE() << what << ' ' << i << " missing: " << want[i].dump();
}

// The owner of the port: keeps the times handed up, in the report list.
class CaptureOwner : public CEComm {
 public:
  void ProcessZDA(CTm80& gpsTime, const SYSTEMTIME&) override { m_calls.push_back({{"zda", gpsTime.GetValue()}}); }
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

// An expected file: its comment blocks stay before the item they preceded.
struct CaptureExpected {
  json header;
  std::vector<json> records, reports;
  std::vector<std::pair<std::size_t, std::string>> comments;  // item index, line
};

CaptureExpected ReadExpected(const fs::path& path) {
  CaptureExpected out;
  std::ifstream in(path);
  std::size_t items = 0;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') {
      out.comments.emplace_back(items, line);
      continue;
    }
    json item = json::parse(line);
    ++items;
    if (out.header.is_null()) {
      out.header = std::move(item);
    } else {
      (item.contains("report") || item.contains("zda") ? out.reports : out.records).push_back(std::move(item));
    }
  }
  return out;
}

void WriteExpected(const fs::path& path, const CaptureExpected& old, json header, const std::vector<json>& inOrder) {
  std::vector<json> items = {std::move(header)};
  items.insert(items.end(), inOrder.begin(), inOrder.end());
  std::ofstream out(path);
  std::size_t next = 0;
  for (std::size_t i = 0; i <= items.size(); ++i) {
    for (; next < old.comments.size() && (old.comments[next].first <= i || i == items.size()); ++next) {
      out << old.comments[next].second << '\n';
    }
    if (i < items.size()) out << items[i].dump(-1, ' ', false, json::error_handler_t::replace) << '\n';
  }
}

class CaptureCase : public testing::TestWithParam<CaptureCaseFiles> {};

TEST_P(CaptureCase, GivesTheListedRecords) {
  const CaptureCaseFiles& files = GetParam();
  ASSERT_FALSE(files.capture.empty()) << "no capture beside " << files.expected;
  const CaptureExpected expected = ReadExpected(files.expected);
  const json& header = expected.header;
  const std::string bytes = CaptureBytes(files.capture);
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
  std::vector<json> gotRecords, gotReports, inOrder;
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
      gotRecords.push_back(record);
      inOrder.push_back(record);
    }
    static const char* const kKinds[] = {"status", "alarm", "comms", "console", "msgbox"};
    const auto all = reports->All();
    for (; reportCount < all.size(); ++reportCount) {
      const Nyx::Report& r = all[reportCount];
      gotReports.push_back({{"report", kKinds[static_cast<int>(r.kind)]}, {"id", r.id}, {"level", r.level}, {"text", r.text}});
      inOrder.push_back(gotReports.back());
    }
    for (; calls < owner.m_calls.size(); ++calls) {
      gotReports.push_back(owner.m_calls[calls]);
      inOrder.push_back(owner.m_calls[calls]);
    }
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

  const char* write = std::getenv("NYX_CAPTURE_WRITE");
  if (write && *write && *write != '0') {
    json newHeader = header;
    newHeader.erase("result");
    newHeader["results"] = got["results"];
    if (header.contains("result") && got["results"] == json(std::vector<int>(got["results"].size(), got["results"][0]))) {
      newHeader.erase("results");
      newHeader["result"] = got["results"][0];
    }
    for (const char* key : {"lights", "shown", "times"}) {
      if (header.contains(key)) newHeader[key] = got[key];
    }
    WriteExpected(files.expected, expected, newHeader, inOrder);
    return;
  }
  CaptureCaseCompare(gotRecords, expected.records, "record");
  CaptureCaseCompare(gotReports, expected.reports, "report");
  for (const char* key : {"results", "lights", "shown", "times"}) {
    if (header.contains(key)) {
      EXPECT_EQ(got[key], header[key]) << key;
    }
  }
  if (header.contains("result")) {
    EXPECT_EQ(got["results"], json(std::vector<int>(got["results"].size(), header["result"].get<int>())));
  }
}

INSTANTIATE_TEST_SUITE_P(Data, CaptureCase, testing::ValuesIn(CaptureCaseList()), CaptureCaseName);

}  // namespace
