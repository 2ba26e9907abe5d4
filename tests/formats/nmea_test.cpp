// GGA, ZDA, GGA + ZDA and PPS decoding, and the ZDA synchronisation rule.
#include <gtest/gtest.h>

#include <cmath>
#include <optional>

#include "comms/ecomm.h"
#include "formats/nmea.h"
#include "host/records.h"
#include "port/port.h"
#include "support/capture.h"

namespace {

struct Position {
  double lat, lon, z;
  int quality, sats;
  float hdop;
};

struct GgaCase {
  const char* msg;
  int result;
  std::optional<Position> pos;
};

const char* kGga = "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47";

void ExpectPosition(const nlohmann::json& rec, const Position& p, const char* msg) {
  EXPECT_NEAR(rec["pos"][1].get<double>(), p.lat, 1e-6) << msg;
  EXPECT_NEAR(rec["pos"][0].get<double>(), p.lon, 1e-6) << msg;
  EXPECT_NEAR(rec["pos"][2].get<double>(), p.z, 1e-9) << msg;
  EXPECT_EQ(rec["quality"], p.quality) << msg;
  EXPECT_EQ(rec["sats"], p.sats) << msg;
  EXPECT_EQ(rec["hdop"].get<float>(), p.hdop) << msg;
}

template <class Decoder>
void RunGgaCases(const std::vector<GgaCase>& cases) {
  for (const auto& c : cases) {
    RecordCollector host;
    Decoder decoder;
    std::string msg = c.msg;
    EXPECT_EQ(decoder.DecodeMsg(500.0, msg, 3), c.result) << c.msg;
    const auto records = host.Records(kSnsrPos);
    if (!c.pos) {
      EXPECT_TRUE(records.empty()) << c.msg;
      continue;
    }
    ASSERT_EQ(records.size(), 1u) << c.msg;
    ExpectPosition(records[0], *c.pos, c.msg);
    EXPECT_EQ(records[0]["time"], 500.0);
    EXPECT_EQ(records[0]["bank"], 3);
  }
}

const Position kMunich{48.1173, 11.516667, 592.3, 1, 8, 0.9f};

}  // namespace

TEST(Gga, DecodesPositionsAndRejectsOtherText) {
  RunGgaCases<CSD_GPGGA>({
      {kGga, 1, kMunich},
      {"$GPGGA,123519,4807.038,S,01131.000,W,1,08,0.9,545.4,M,46.9,M,,*47", 1,
       Position{-48.1173, -11.516667, 592.3, 1, 8, 0.9f}},
      {"$GPGGA,123519,4807.038,s,01131.000,w,1,08,0.9,545.4,M,46.9,M,,*47", 1, kMunich},
      {"$GPGGA,123519,4807.038,N,01131.000,E,2,11,1.2\r", 1, Position{48.1173, 11.516667, 0.0, 2, 11, 1.2f}},
      {"$GPGGA,123519,4807.038,N,01131.000,E", 1, Position{48.1173, 11.516667, 0.0, 0, 0, 0.0f}},
      {"$GPGGA,123519,,,,,0,00,,,M,,M,,*66", -1, std::nullopt},
      {"$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A", -1, std::nullopt},
      {"$GPGGA,123519,4807.038,N,01131.000", -1, std::nullopt},
      {"$GNGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*59", 0, std::nullopt},
      {"xyz", 0, std::nullopt},
      {"", 0, std::nullopt},
  });
}

TEST(GgaZda, TakesAnyTalkerAndSendsFixlessPositionsWithoutCounting) {
  RunGgaCases<CSD_GPGGA_ZDA>({
      {kGga, 1, kMunich},
      {"$GNGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*59", 1, kMunich},
      {"$GPGGA,123519,4807.038,N,01131.000,E,0,08,0.9,545.4,M,46.9,M,,*47", -1,
       Position{48.1173, 11.516667, 592.3, 0, 8, 0.9f}},
      {"$GPGSV,3,1,11,03,03,111,00*74", -1, std::nullopt},
      {"!AIVDM", 0, std::nullopt},
  });
}

namespace {

class ZdaOwner : public CEComm {
 public:
  void ProcessZDA(CTm80& gpsTime, const SYSTEMTIME& utc) override {
    synced.push_back(gpsTime.GetValue());
    lastUtc = utc;
  }
  std::vector<double> synced;
  SYSTEMTIME lastUtc;
};

// 2002-07-04 20:15:30 UTC in host seconds.
constexpr double kZdaTime = 710280930.0;

std::string ZdaAt(int second, const char* fraction = ".00", const char* year = "2002") {
  char text[80];
  std::snprintf(text, sizeof text, "$GPZDA,2015%02d%s,04,07,%s,00,00", second, fraction, year);
  return text;
}

// Feeds ZDAs for consecutive seconds with the PC clock 'offset' seconds off;
// returns the indices of the sentences that synchronised.
template <class Decoder>
std::vector<int> SyncPattern(double offset, const char* fraction, int count) {
  ScopedClock clock;
  ScopedReports reports;
  ZdaOwner owner;
  CPort port;
  port.m_pOwner = &owner;
  Decoder decoder;
  decoder.m_pPort = &port;
  std::vector<int> synced;
  for (int i = 0; i < count; ++i) {
    clock->Set(kZdaTime + i + offset);
    std::string msg = ZdaAt(30 + i % 30, fraction);
    const std::size_t before = owner.synced.size();
    decoder.DecodeMsg(100.0 + i, msg, 0);
    if (owner.synced.size() != before) synced.push_back(i);
  }
  EXPECT_EQ(reports->Of(Nyx::ReportKind::Status, 3021).size(), synced.size());
  return synced;
}

}  // namespace

TEST(Zda, SynchronisesAtOnceWhenThePcIsOffElseEveryTenth) {
  struct Case {
    double offset;
    const char* fraction;
    std::vector<int> synced;
  };
  const Case cases[] = {
      {0.2, ".00", {0, 10, 20}},
      {-0.9, ".00", {0, 10, 20}},
      {1.5, ".00", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21}},
      {-1.001, ".00", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21}},
      {0.0, ".25", {}},
      {5.0, ".999", {}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SyncPattern<CSD_GPZDA>(c.offset, c.fraction, 22), c.synced) << c.offset << c.fraction;
    EXPECT_EQ(SyncPattern<CSD_GPGGA_ZDA>(c.offset, c.fraction, 22), c.synced) << c.offset << c.fraction;
  }
}

TEST(Zda, PassesTheGpsTimeToTheOwnerAndReportsIt) {
  ScopedClock clock(kZdaTime + 0.2);
  ScopedReports reports;
  RecordCollector host;
  ZdaOwner owner;
  CPort port;
  port.m_pOwner = &owner;
  CSD_GPZDA decoder;
  decoder.m_pPort = &port;
  std::string msg = "$GPZDA,201530.00,04,07,2002,00,00*60";
  EXPECT_EQ(decoder.DecodeMsg(123.5, msg, 1), 1);
  EXPECT_EQ(msg, "$GPZDA,201530.00,04,07,2002,00,00*60");
  ASSERT_EQ(owner.synced.size(), 1u);
  EXPECT_EQ(owner.synced[0], kZdaTime);
  EXPECT_EQ(owner.lastUtc.wYear, 2002);
  EXPECT_EQ(owner.lastUtc.wHour, 20);
  EXPECT_EQ(owner.lastUtc.wMilliseconds, 0);
  const auto status = reports->Of(Nyx::ReportKind::Status, 3021);
  ASSERT_EQ(status.size(), 1u);
  EXPECT_EQ(status[0].text, "Comm ZDA,201530.000,04,07,2002 Timestamp 123.500000");
  const auto records = host.Records(kSnsrTime);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0]["utc"], "2002-07-04T20:15:30.000Z");
  EXPECT_EQ(records[0]["bank"], 1);
}

TEST(Zda, WithoutPortOrOwnerOnlyTheStatusLineIsWritten) {
  ScopedClock clock(kZdaTime);
  ScopedReports reports;
  CSD_GPZDA decoder;
  std::string msg = ZdaAt(30);
  EXPECT_EQ(decoder.DecodeMsg(1.0, msg, 0), 1);
  EXPECT_EQ(reports->Of(Nyx::ReportKind::Status, 3021).size(), 1u);
}

TEST(Zda, YearsAndFields) {
  ScopedClock clock(kZdaTime + 24 * 365 * 86400.0);  // the PC clock is in 2026
  struct Case {
    const char* msg;
    int zdaResult;     // the ZDA decoder
    int combinedResult;  // the GGA + ZDA decoder
    const char* utcZda;
    const char* utcCombined;
    int zoneHours;
  };
  const Case cases[] = {
      {"$GPZDA,201530.00,04,07,02,-3,30", 1, 2, "2002-07-04T20:15:30.000Z", "2002-07-04T20:15:30.000Z", 253},
      {"$GPZDA,201530.00,04,07,0250,00,00", 1, 2, "0250-07-04T20:15:30.000Z", "2026-07-04T20:15:30.000Z", 0},
      {"$GPZDA,201530.50,04,07,2002", 1, 2, "2002-07-04T20:15:30.500Z", "2002-07-04T20:15:30.500Z", 0},
      {"$GPZDA,201530.00,04,07,,00,00", -1, -1, nullptr, nullptr, 0},
      {"$IIZDA,201530.00,04,07,2002,00,00", 1, 2, "2002-07-04T20:15:30.000Z", "2002-07-04T20:15:30.000Z", 0},
      {"ZDA", 0, 0, nullptr, nullptr, 0},
  };
  for (const auto& c : cases) {
    {
      RecordCollector host;
      CSD_GPZDA zda;
      std::string msg = c.msg;
      EXPECT_EQ(zda.DecodeMsg(0, msg, 0), c.zdaResult) << c.msg;
      const auto records = host.Records(kSnsrTime);
      ASSERT_EQ(records.size(), c.utcZda ? 1u : 0u) << c.msg;
      if (c.utcZda) {
        EXPECT_EQ(records[0]["utc"], c.utcZda) << c.msg;
        EXPECT_EQ(records[0]["zone_hours"], c.zoneHours) << c.msg;
      }
    }
    {
      RecordCollector host;
      CSD_GPGGA_ZDA combined;
      std::string msg = c.msg;
      EXPECT_EQ(combined.DecodeMsg(0, msg, 0), c.combinedResult) << c.msg;
      const auto records = host.Records(kSnsrTime);
      ASSERT_EQ(records.size(), c.utcCombined ? 1u : 0u) << c.msg;
      if (c.utcCombined) {
        EXPECT_EQ(records[0]["utc"], c.utcCombined) << c.msg;
      }
    }
  }
}

TEST(GgaZda, RewritesTheMessageAsZdaThenGga) {
  ScopedClock clock(kZdaTime);
  CSD_GPGGA_ZDA decoder;
  std::string zda = ZdaAt(30);
  std::string gga = kGga;
  EXPECT_EQ(decoder.DecodeMsg(0, gga, 0), 1);
  EXPECT_EQ(gga, std::string(" ; ") + kGga);
  EXPECT_EQ(decoder.DecodeMsg(0, zda, 0), 2);
  EXPECT_EQ(zda, ZdaAt(30) + " ; " + kGga);
  std::string other = "$GPGSV,1";
  decoder.DecodeMsg(0, other, 0);
  EXPECT_EQ(other, "$GPGSV,1");  // foreign text stays as received
}

TEST(GgaZda, PortShowsACompleteReadingOnEachGgaAfterAZda) {
  ScopedClock clock(kZdaTime);
  CEComm::InitDecode();
  CPort port;
  port.m_decode = 2;
  port.SetDecode();
  const std::string zda = ZdaAt(30) + "\r\n";
  const std::string gga = std::string(kGga) + "\r\n";
  std::vector<int> lights;
  for (const std::string& sentence : {gga, zda, gga, gga, zda, gga}) {
    for (char ch : sentence) port.NewByte(1.0, static_cast<unsigned char>(ch));
    lights.push_back(port.m_status);
  }
  EXPECT_EQ(lights, (std::vector<int>{1, 1, 2, 1, 1, 2}));
}

TEST(Pps, EveryMessageIsOnePulse) {
  RecordCollector host;
  CSD_PPS decoder;
  for (const char* text : {"", "anything", "\x01"}) {
    std::string msg = text;
    EXPECT_EQ(decoder.DecodeMsg(77.25, msg, 2), 1);
  }
  const auto pulses = host.Records(kSnsrPps);
  ASSERT_EQ(pulses.size(), 3u);
  EXPECT_EQ(pulses[0]["type"], 15);
  EXPECT_EQ(pulses[0]["time"], 77.25);
  EXPECT_EQ(pulses[0]["bank"], 2);
}
