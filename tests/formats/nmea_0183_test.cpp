// The multiplexed-line decoder against the GGA + ZDA decoder it builds on: the
// same records and the same clock synchronisations from GGA and ZDA, and a port
// light that only the position fixes drive.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "comms/ecomm.h"
#include "formats/decode_case.h"
#include "port/port.h"
#include "support/capture.h"

namespace {

class Nmea0183ZdaOwner : public CEComm {
 public:
  void ProcessZDA(CTm80& gpsTime, const SYSTEMTIME&) override { synced.push_back(gpsTime.GetValue()); }
  std::vector<double> synced;
};

struct Nmea0183Run {
  std::vector<nlohmann::json> records;
  std::vector<double> synced;
  std::vector<std::string> statusLines;
};

// The lines through a port with the named decoder, the PC clock 0.2 s after
// 2002-07-04 20:15:30 UTC (a ZDA of 20:15:30 synchronises the first time and
// then every tenth time).
Nmea0183Run Nmea0183Decode(const std::string& decoderName, const std::vector<std::string>& lines) {
  ScopedClock clock(710280930.2);
  ScopedReports reports;
  RecordCollector host;
  Nmea0183ZdaOwner owner;
  CEComm::InitDecode();
  CPort port;
  port.m_pOwner = &owner;
  port.m_decode = CEComm::FindDecode(decoderName)->m_index;
  port.SetDecode();
  double t = 10.0;
  for (const std::string& line : lines) {
    for (const char byte : line + "\r\n") port.NewByte(t, static_cast<unsigned char>(byte));
    t += 1.0;
  }
  Nmea0183Run run;
  for (const auto& received : host.All()) {
    if (received.kind != 0) run.records.push_back(received.record);
  }
  run.synced = owner.synced;
  for (const auto& report : reports->Of(Nyx::ReportKind::Status, 3021)) run.statusLines.push_back(report.text);
  return run;
}

}  // namespace

TEST(Nmea0183, DecodesGgaAndZdaExactlyAsTheGgaZdaDecoder) {
  std::vector<std::string> lines = {
      "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47",
      "$GNGGA,123519,4807.038,S,01131.000,W,2,11,1.2,10.0,M,-3.5,M",
      "$GPGGA,123519,4807.038,N,01131.000,E,0,08,0.9,545.4,M,46.9,M,,",
      "$GPGGA,,,,,,0,,,,M,,M,,*66",
      "$GPZDA,201530.25,04,07,2002,00,00",
      "$IIZDA,201530.00,04,07,02,-3,30",
      "$GPZDA,201530.00,04,07,0250,00,00",
  };
  lines.insert(lines.end(), 21, "$GNZDA,201530.00,04,07,2002,00,00");
  const Nmea0183Run reference = Nmea0183Decode("GPGGA + ZDA", lines);
  const Nmea0183Run multiplexed = Nmea0183Decode("NMEA 0183", lines);
  ASSERT_EQ(reference.records.size(), 3u + 24u);
  EXPECT_EQ(multiplexed.records, reference.records);
  ASSERT_EQ(reference.synced.size(), 3u);  // the first whole second, then every tenth
  EXPECT_EQ(multiplexed.synced, reference.synced);
  EXPECT_EQ(multiplexed.statusLines, reference.statusLines);
}

TEST(Nmea0183, OnlyPositionFixesDriveThePortLight) {
  const std::vector<std::string> lines = {
      "$SDDBT,7.7,f,2.3,M,1.3,F*05",                                       // grey: no fix yet
      "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47",  // green
      "$GPZDA,201530.00,04,07,2002,00,00*60",
      "$HEHDT,274.07,T*19",
      "$SDDBT,7.7,f,2.3,M,1.3,F*50",  // wrong checksum: red
      "$YXMTW,17.8,C*1C",             // stays red
      "$ECGLL,5119.900,N,00125.200,E,164400,A,D*55",  // green
      "$GPRMC,235947.000,V,,,,,,,041299,,,N*44",
  };
  EXPECT_EQ(decode_case::LightsThroughPort("NMEA 0183", lines), (std::vector<int>{3, 2, 2, 2, 0, 0, 2, 2}));
  // A single-sentence decoder counts every reading.
  EXPECT_EQ(decode_case::LightsThroughPort("NMEA Depth", {"$SDDBT,7.7,f,2.3,M,1.3,F*05"}), (std::vector<int>{2}));
}
