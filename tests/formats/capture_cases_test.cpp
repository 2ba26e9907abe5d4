// Decoders against capture files: every NAME.jsonl under tests/data has a
// capture NAME.<ext> beside it (raw bytes as the device sends them), which is
// fed through a port using the decoder the .jsonl names; the records and
// reports must be the ones listed.
//
// NAME.jsonl: '#' lines are comments; the first JSON line is the header
//   {"decoder":"NMEA RMC"}                      registry name
//   {"decoder":"NMEA RMC","results":[1,-1,0]}   also each message's result
//   {"decoder":"NMEA GLL","result":-1}          every message's result
// then one line per record, in order, without "time" and "bank" ({"kind":8,
// "class":"CSnsrAlt","depth":2.3}), and per host report ({"report":"status",
// "id":3021,"level":2,"text":"..."}). Message k (from 0) arrives at host time
// 100 + k on bank 3; the PC clock reads 1000 s after 1980-01-01.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
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
#include "support/capture.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

constexpr int kCaptureCaseBank = 3;
constexpr double kCaptureCaseFirstTime = 100.0;

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

json CaptureCaseReport(const Nyx::Report& report) {
  static const char* const kKinds[] = {"status", "alarm", "comms", "console", "msgbox"};
  return {{"report", kKinds[static_cast<int>(report.kind)]}, {"id", report.id}, {"level", report.level},
          {"text", report.text}};
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

class CaptureCase : public testing::TestWithParam<CaptureCaseFiles> {};

TEST_P(CaptureCase, GivesTheListedRecords) {
  const CaptureCaseFiles& files = GetParam();
  ASSERT_FALSE(files.capture.empty()) << "no capture beside " << files.expected;

  json header;
  std::vector<json> wantRecords, wantReports;
  std::ifstream expected(files.expected);
  for (std::string line; std::getline(expected, line);) {
    if (line.empty() || line[0] == '#') continue;
    json item = json::parse(line);
    if (header.is_null()) {
      header = std::move(item);
    } else {
      (item.contains("report") ? wantReports : wantRecords).push_back(std::move(item));
    }
  }
  std::ifstream in(files.capture, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());

  ScopedClock clock(1000.0);
  ScopedReports reports;
  RecordCollector host;
  CEComm::InitDecode();
  const CDecodeType* type = CEComm::FindDecode(header.value("decoder", ""));
  ASSERT_NE(type, nullptr) << header.dump();
  CPort port;
  port.m_decode = type->m_index;
  port.m_bank = kCaptureCaseBank;
  port.SetDecode();
  std::vector<int> results;
  double t = kCaptureCaseFirstTime;
  for (const char byte : bytes) {
    if (port.NewByte(t, static_cast<unsigned char>(byte)) == 1) results.push_back(port.m_lastResult.value_or(-99));
    if (byte == '\n') t += 1.0;
  }

  std::vector<json> gotRecords;
  double messageTime = -1.0;
  for (const ReceivedMsg& received : host.All()) {
    json record = received.record;
    if (received.kind == 0) {
      messageTime = record.at("time");
      continue;
    }
    EXPECT_EQ(record.at("time"), messageTime) << record.dump();
    EXPECT_EQ(record.at("bank"), kCaptureCaseBank) << record.dump();
    record.erase("time");
    record.erase("bank");
    gotRecords.push_back(std::move(record));
  }
  std::vector<json> gotReports;
  for (const Nyx::Report& report : reports->All()) gotReports.push_back(CaptureCaseReport(report));

  CaptureCaseCompare(gotRecords, wantRecords, "record");
  CaptureCaseCompare(gotReports, wantReports, "report");
  if (header.contains("results")) {
    EXPECT_EQ(json(results), header["results"]);
  }
  if (header.contains("result")) {
    EXPECT_EQ(json(results), json(std::vector<int>(results.size(), header["result"].get<int>())));
  }
  EXPECT_FALSE(results.empty()) << "no message framed";
}

INSTANTIATE_TEST_SUITE_P(Data, CaptureCase, testing::ValuesIn(CaptureCaseList()), CaptureCaseName);

}  // namespace
