// Every decoder's records, from the example line of each decoder, written as
// JSON lines straight and through a JSON document: the same bytes.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <string>

#include <nlohmann/json.hpp>

#include "comms/ecomm.h"
#include "host/nyx_wnd.h"
#include "host/records.h"
#include "port/port.h"
#include "support/capture.h"

namespace {

// Compares both writers on every record that reaches the host.
class RecordLinesTestCompare : public CEComm {
 public:
  RecordLinesTestCompare() {
    Join(s_snsrRx, this);
    Join(s_infoRx, this);
  }
  ~RecordLinesTestCompare() override { LeaveReceiverLists(); }

  void OnSnsrMsg(int kind, void* record) override { Compare(kind, *static_cast<const CSnsr*>(record)); }
  void OnInfoMsg(int kind, void* data) override {
    if (kind == kInfoTargetData || kind == kInfoStallPing) Compare(kind, *static_cast<const CSnsr*>(data));
  }
  void SendData(unsigned, const char*) override {}
  void SendData(unsigned, TX_MSG*) override {}

  std::string m_decoder;
  std::set<std::string> m_classes;
  int m_records = 0;

 private:
  void Compare(int kind, const CSnsr& record) {
    ++m_records;
    m_classes.insert(record.GetRuntimeClass()->m_lpszClassName);
    EXPECT_EQ(RecordJsonLine(kind, record),
              RecordJson(kind, record).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace))
        << m_decoder;
  }
};

// The bytes of a printf %b text: \r, \n, \\ and \xHH.
std::string RecordLinesTestUnescape(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    const char code = text[++i];
    if (code == 'r') out += '\r';
    else if (code == 'n') out += '\n';
    else if (code == 'x') {
      out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else out += code;
  }
  return out;
}

}  // namespace

TEST(RecordLines, EveryDecodersRecordsWriteTheSameBytesBothWays) {
  ScopedReports reports;
  ScopedClock clock;
  CEComm::InitDecode();
  RecordLinesTestCompare host;
  std::ifstream seeds(std::string(NYX_SOURCE_DIR) + "/fuzz/seeds/decoders.txt");
  ASSERT_TRUE(seeds);
  std::string row;
  int decoders = 0;
  while (std::getline(seeds, row)) {
    if (row.empty() || row[0] == '#') continue;
    const auto bar1 = row.find('|');
    const auto bar2 = row.find('|', bar1 + 1);
    host.m_decoder = row.substr(0, bar1);
    const auto* entry = CEComm::FindDecode(host.m_decoder);
    ASSERT_NE(entry, nullptr) << host.m_decoder;
    CPort port;
    port.m_pOwner = &host;
    port.m_sync = row.substr(bar1 + 1, bar2 - bar1 - 1) == "ascii" ? 1 : 0;
    port.m_decode = entry->m_index;
    port.m_bank = 5;
    const std::string bytes = RecordLinesTestUnescape(row.substr(bar2 + 1));
    // Lines end at CR (the LF after it is dropped); replies without line ends
    // (the pressure sensor's) at ';'.
    if (bytes.find("\r\n") != std::string::npos) port.m_syncChar = '\r';
    if (bytes.find('\n') == std::string::npos && bytes.find(';') != std::string::npos) port.m_syncChar = ';';
    port.SetDecode();
    double t = 1000.125;
    // Twice over, so decoders that pair messages see a full cycle.
    for (int pass = 0; pass < 2; ++pass) {
      for (char byte : bytes) port.NewByte(t += 0.001, static_cast<unsigned char>(byte));
      port.m_pDecode->OnTrigger(t += 0.5, 0.5);
    }
    ++decoders;
  }
  EXPECT_GE(decoders, 30);
  // The record classes the example lines make were all seen.
  for (const char* name : {"CSnsrInf", "CSnsrPos", "CSnsrGyro", "CSnsrMru", "CSnsrZ", "CSnsrSOS", "CSnsrTime", "CSnsrAlt",
                           "CSnsrPressure", "CSnsStreamStallPing"}) {
    EXPECT_TRUE(host.m_classes.count(name)) << name;
  }
  EXPECT_GT(host.m_records, 60);
}
