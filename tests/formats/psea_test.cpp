// PSea sensor sentences, the pressure reply, and the polled MEASURE request.
#include <gtest/gtest.h>

#include "format_test_support.h"
#include "formats/psea.h"
#include "host/records.h"
#include "port/port.h"

TEST(PSea, DepthBelowTransducerIsTheMetresField) {
  ExpectValueCases<CSD_PSea>(
      {
          {"$SDDBT,41.3,f,12.6,M,6.9,F*3A", 1, 12.6},
          {"$SDDBT,41.3,f,12.6,M", 1, 12.6},
          {"$SDDBT,41.3,f,", 1, 0.0},  // the scan stopped before the metres: 0.0 is still sent
          {"$SDDBT,41.3", 1, 0.0},
          {"$SDDBT,,f,12.6,M,6.9,F*3A", 0, std::nullopt},
          {"$SDDBT", 0, std::nullopt},
      },
      kSnsrAlt, "depth");
}

TEST(PSea, WaterTemperatureAndDepthSentences) {
  ExpectValueCases<CSD_PSea>(
      {
          {"$YXMTW,14.2,C*11", 1, 14.2},
          {"$YXMTW,-1.5", 1, -1.5},
          {"$YXMTW,,C*1A", 0, std::nullopt},
          {"$SDDPT,12.6,0.4,0.0*hh", 1, std::nullopt},  // accepted, nothing sent
          {"$SDDPT,12.6", 1, std::nullopt},
          {"$SDDPT,,0.4,*hh", 0, std::nullopt},
          {"$GPGGA,123519,4807.038,N", 0, std::nullopt},
          {"$SDMTW,14.2,C", 0, std::nullopt},  // only the talkers of this sensor set
          {"", 0, std::nullopt},
      },
      kSnsrTmp, "temperature");
}

TEST(PSea, SpeedThroughWaterWalksNineTokens) {
  struct Case {
    std::string msg;
    int result;
    float trueHeading, magHeading, knots, kmh;
  };
  const Case cases[] = {
      {"$VWVHW,,T,,M,5.0,N,9.3,K*hh", 1, 0.0f, 0.0f, 5.0f, 9.3f},
      {"$VWVHW,231.5,T,229.0,M,6.6,N,12.2,K*7D\r", 1, 231.5f, 229.0f, 6.6f, 12.2f},
      {"$VWVHW,12,T,,M,,N,,K", 1, 12.0f, 0.0f, 0.0f, 0.0f},
      {"$VWVHW,,T,,M,5.0,N,9.3,K*hh,", 1, 0.0f, 0.0f, 5.0f, 9.3f},  // the trailing empty token ends the walk
      {"$VWVHW,x,T,,M,5.0,N,9.3,K", 1, 0.0f, 0.0f, 5.0f, 9.3f},      // not a number reads as 0
      // Two empty fields in a row leave an empty token that ends the walk early.
      {"$VWVHW,,,,M,5.0,N,9.3,K*hh", 0, 0, 0, 0, 0},
      {"$VWVHW,,T,,M,5.0,N,9.3", 0, 0, 0, 0, 0},
      {"$VWVHW,,T,,M,5.0,N,9.3,K,X", 0, 0, 0, 0, 0},
      {"$VWVHW", 0, 0, 0, 0, 0},
  };
  for (const auto& c : cases) {
    const auto decoded = DecodeOnce<CSD_PSea>(c.msg);
    EXPECT_EQ(decoded.result, c.result) << c.msg;
    if (c.result != 1) {
      EXPECT_TRUE(decoded.received.empty()) << c.msg;
      continue;
    }
    ASSERT_EQ(decoded.received.size(), 1u) << c.msg;
    const auto& record = decoded.received[0].record;
    EXPECT_EQ(decoded.received[0].kind, kSnsrVTG);
    EXPECT_EQ(record["true_heading"].get<float>(), c.trueHeading) << c.msg;
    EXPECT_EQ(record["mag_heading"].get<float>(), c.magHeading) << c.msg;
    EXPECT_EQ(record["knots"].get<float>(), c.knots) << c.msg;
    EXPECT_EQ(record["kmh"].get<float>(), c.kmh) << c.msg;
    EXPECT_EQ(record["bank"], 3);
  }
}

TEST(PSeaPressure, DecodesTheMeasureReply) {
  struct Case {
    std::string msg;
    int result;
    float pressure = 0, temperature = 0;
    std::string pressureUnit, temperatureUnit;
  };
  const Case cases[] = {
      {"MEASURE -P 10.1325 -PU bar -T 21.5 -TU °C OK", 1, 10.1325f, 21.5f, "bar", "°C"},
      {"\r\nMEASURE -P 1013.25 -PU mbar -T 70 -TU °F OK", 1, 1013.25f, 70.0f, "mbar", "°F"},
      {"MEASURE -P 1 -PU psi -T 294.6 -TU K OK", 1, 1.0f, 294.6f, "psi", "°K"},
      {"MEASURE -P 1 -PU psi -T 3 -TU C OK", 1, 1.0f, 3.0f, "psi", ""},     // no degree sign: unit unknown
      {"MEASURE -P 1 -PU Pa -T 3 -TU degC OK", 1, 1.0f, 3.0f, "Pa", ""},    // three characters: "deg", then "C"
      {"MEASURE -P 2 -PU kPa -T 3 -TU °K ERROR", 1, 2.0f, 3.0f, "kPa", "°K"},
      {"MEASURE -P 10.1325 -PU bar -T 21.5 -TU °C", 0, 0, 0, "", ""},  // no trailing word
      {"MEASURE -P 10.1325 -PU millibar -T 21.5 -TU °C OK", 0, 0, 0, "", ""},  // unit longer than 7
      {"MEASURE -P x -PU bar -T 21.5 -TU °C OK", 0, 0, 0, "", ""},
      {"MEASURE", 0, 0, 0, "", ""},
      {"MEASURE-P 1 -PU bar -T 2 -TU °C OK", 1, 1.0f, 2.0f, "bar", "°C"},  // a blank in the pattern matches none
      {"-P 10.1325 -PU bar -T 21.5 -TU °C OK", -1, 0, 0, "", ""},
      {"measure -P 1 -PU bar -T 2 -TU °C OK", -1, 0, 0, "", ""},
      {"", -1, 0, 0, "", ""},
  };
  for (const auto& c : cases) {
    const auto decoded = DecodeOnce<CSD_PSeaPressure>(c.msg);
    EXPECT_EQ(decoded.result, c.result) << c.msg;
    if (c.result != 1) {
      EXPECT_TRUE(decoded.received.empty()) << c.msg;
      continue;
    }
    ASSERT_EQ(decoded.received.size(), 1u) << c.msg;
    const auto& record = decoded.received[0].record;
    EXPECT_EQ(decoded.received[0].kind, kSnsrPressure);
    EXPECT_EQ(record["pressure"].get<float>(), c.pressure) << c.msg;
    EXPECT_EQ(record["pressure_unit"], c.pressureUnit) << c.msg;
    EXPECT_EQ(record["temperature"].get<float>(), c.temperature) << c.msg;
    EXPECT_EQ(record["temperature_unit"], c.temperatureUnit) << c.msg;
  }
}

TEST(PSeaPressure, RequestFrameAndCrc) {
  const CSD_PSeaPressure::Request expected = {0xF0, 0x64, 0x07, 0x4D, 0x45, 0x41,
                                              0x53, 0x55, 0x52, 0x45, 0xFC, 0xB9};
  EXPECT_EQ(CSD_PSeaPressure::MeasureRequest(), expected);
  // The Modbus check value, and a CRC over a frame with its CRC appended is 0.
  const std::uint8_t check[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
  EXPECT_EQ(CSD_PSeaPressure::Crc16(check, sizeof check), 0x4B37);
  EXPECT_EQ(CSD_PSeaPressure::Crc16(expected.data(), expected.size()), 0x0000);
  EXPECT_EQ(CSD_PSeaPressure::Crc16(nullptr, 0), 0xFFFF);
  const std::uint8_t one[] = {0x01};
  EXPECT_EQ(CSD_PSeaPressure::Crc16(one, 1), 0x807E);
}

namespace {

// Triggers at the given times; the indices of the triggers that polled.
std::vector<int> PollPattern(const std::vector<double>& triggers, double interval = 1.0) {
  SentBytes owner;
  CPort port;
  port.m_pOwner = &owner;
  auto* pressure = new CSD_PSeaPressure;
  pressure->m_pPort = &port;
  pressure->m_pollInterval = interval;
  port.m_pDecode.reset(pressure);
  std::vector<int> polled;
  for (std::size_t i = 0; i < triggers.size(); ++i) {
    const std::size_t before = owner.m_sent.size();
    port.m_pDecode->OnTrigger(triggers[i], 0.05);
    if (owner.m_sent.size() == before) continue;
    polled.push_back(static_cast<int>(i));
    const auto request = CSD_PSeaPressure::MeasureRequest();
    EXPECT_EQ(owner.m_sent.back().bytes, std::vector<unsigned char>(request.begin(), request.end()));
    EXPECT_EQ(pressure->m_lastPoll, triggers[i]);
  }
  return polled;
}

}  // namespace

TEST(PSeaPressure, PollsOnlyOnceTheIntervalIsExceeded) {
  struct Case {
    const char* what;
    std::vector<double> triggers;
    std::vector<int> polled;
    double interval = 1.0;
  };
  const Case cases[] = {
      {"first trigger polls at once", {1000.0, 1000.05}, {0}},
      {"exactly one interval later does not poll", {1000.0, 1001.0, 1001.05}, {0, 2}},
      {"the interval counts from the last poll, not the last trigger",
       {1000.0, 1000.5, 1001.0, 1001.5, 1002.0, 1002.5, 1003.0},
       {0, 3, 6}},
      {"host times at or below the interval never poll", {0.5, 1.0, 1.0000001}, {2}},
      {"a longer interval", {10.0, 12.0, 12.5, 13.0}, {0, 3}, 2.5},
      {"time running backwards does not poll", {1000.0, 900.0, 1001.5}, {0, 2}},
  };
  for (const auto& c : cases) EXPECT_EQ(PollPattern(c.triggers, c.interval), c.polled) << c.what;
}

TEST(PSeaPressure, WithoutAPortNothingIsPolled) {
  CSD_PSeaPressure pressure;
  pressure.OnTrigger(1000.0, 0.05);
  EXPECT_EQ(pressure.m_lastPoll, 0.0);  // the poll time moves only when a request goes out
}

TEST(PSeaPressure, ANewDecoderPollsAtOnce) {
  SentBytes owner;
  CPort port;
  port.m_pOwner = &owner;
  CEComm::InitDecode();
  port.m_decode = CEComm::FindDecode("PSea Pressure")->m_index;
  port.SetDecode();
  port.m_pDecode->OnTrigger(5000.0, 0.05);
  port.m_pDecode->OnTrigger(5000.5, 0.05);
  ASSERT_EQ(owner.m_sent.size(), 1u);
  // Choosing another decoder and back starts the poll clock again.
  port.m_decode = CEComm::FindDecode("PSea Sensors")->m_index;
  port.SetDecode();
  port.m_decode = CEComm::FindDecode("PSea Pressure")->m_index;
  port.SetDecode();
  port.m_pDecode->OnTrigger(5000.6, 0.05);
  EXPECT_EQ(owner.m_sent.size(), 2u);
}
