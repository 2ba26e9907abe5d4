// The gpsd protocol without sockets: requests and their replies, the watch
// policy, and the report objects records become.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "host/records.h"
#include "net/gpsd_protocol.h"

namespace {

using GpsdProtoJson = nlohmann::json;

GpsdProtoJson GpsdProtoParse(const std::string& line) {
  EXPECT_TRUE(line.size() >= 2 && line.substr(line.size() - 2) == "\r\n") << line;
  return GpsdProtoJson::parse(line);
}

struct GpsdRequestCase {
  std::string input;
  std::vector<std::string> classes;  // of the replies, in order
  GpsdProtoJson last;                // fields the last reply must hold
};

TEST(GpsdProtocol, RequestsAndReplies) {
  const std::string kLong = "?WATCH={\"device\":\"" + std::string(GpsdSession::kMaxPending, 'x');
  const std::vector<GpsdRequestCase> cases = {
      {"?VERSION;\n", {"VERSION"}, {{"proto_major", 3}, {"release", "NyxComms"}}},
      {"?DEVICES;", {"DEVICES"}, {{"devices", {{{"class", "DEVICE"}, {"path", "/dev/gps0"}, {"bps", 4800}}}}}},
      {"?WATCH;", {"WATCH"}, {{"enable", false}, {"json", false}}},
      {"?WATCH={\"enable\":true,\"json\":true};", {"DEVICES", "WATCH"}, {{"enable", true}, {"json", true}}},
      {"?WATCH={\"enable\":true}\n", {"DEVICES", "WATCH"}, {{"json", true}, {"nmea", false}}},
      {"?WATCH={\"enable\":true,\"nmea\":true}\r\n", {"DEVICES", "WATCH"}, {{"json", false}, {"nmea", true}}},
      {"?WATCH={\"enable\":true,\"raw\":1,\"pps\":true,\"device\":\"/dev/gps0\"};",
       {"DEVICES", "WATCH"},
       {{"raw", 1}, {"pps", true}, {"device", "/dev/gps0"}}},
      {"?WATCH={\"enable\":false};", {"WATCH"}, {{"enable", false}}},
      {"?WATCH={\"enable\":\"yes\"};", {"ERROR"}, {{"message", "Invalid WATCH: \"enable\" must be true or false"}}},
      {"?WATCH={\"raw\":7};", {"ERROR"}, {{"message", "Invalid WATCH: \"raw\" must be 0, 1 or 2"}}},
      {"?WATCH={enable};", {"ERROR"}, {{"message", "Invalid WATCH: not a JSON object"}}},
      {"?WATCH=[true];\n", {"ERROR"}, {}},
      {"?WATCH={\"enable\":true,\"device\":\"}{\"", {}, {}},  // the object is not complete yet
      {"?VERS", {}, {}},
      {"?POLL;", {"POLL"}, {{"active", 0}, {"tpv", GpsdProtoJson::array()}}},
      {"?DEVICE;", {"DEVICE"}, {{"path", "/dev/gps0"}}},
      {"?DEVICE={\"path\":\"/dev/none\"};", {"ERROR"}, {{"message", "Can't open /dev/none"}}},
      {"?FOO;", {"ERROR"}, {{"message", "Unrecognized request 'FOO'"}}},
      {"?watch;", {"ERROR"}, {{"message", "Unrecognized request 'watch'"}}},
      {"hello\n?VERSION;", {"ERROR", "VERSION"}, {}},
      {"?VERSION;?DEVICES;\n;;", {"VERSION", "DEVICES"}, {}},
      {std::string("\x00\xff\xfe?\n", 5), {"ERROR"}, {}},
      {"?!;", {"ERROR"}, {}},
      {kLong, {"ERROR"}, {}},
  };
  for (const GpsdRequestCase& c : cases) {
    SCOPED_TRACE(c.input.substr(0, 60));
    GpsdFeed feed;
    feed.AddDevice({"/dev/gps0", "GPGGA", 4800}, 1000.0);
    GpsdSession session(feed);
    const std::vector<std::string> replies = session.Receive(c.input, 1000.0);
    ASSERT_EQ(replies.size(), c.classes.size());
    for (std::size_t i = 0; i < replies.size(); ++i) EXPECT_EQ(GpsdProtoParse(replies[i])["class"], c.classes[i]);
    if (replies.empty()) continue;
    const GpsdProtoJson last = GpsdProtoParse(replies.back());
    for (const auto& [key, value] : c.last.items()) {
      if (key == "devices") {
        for (const auto& [field, expected] : value[0].items()) EXPECT_EQ(last[key][0][field], expected) << field;
      } else {
        EXPECT_EQ(last[key], value) << key;
      }
    }
  }
}

TEST(GpsdProtocol, RequestsSplitAcrossReadsAndGreeting) {
  GpsdFeed feed("NyxComms 9");
  GpsdSession session(feed);
  EXPECT_EQ(GpsdProtoParse(session.Greeting())["release"], "NyxComms 9");
  EXPECT_TRUE(session.Receive("?WAT", 0.0).empty());
  EXPECT_TRUE(session.Receive("CH={\"enable\":tr", 0.0).empty());
  const auto replies = session.Receive("ue,\"pps\":true}\n?POLL;", 0.0);
  ASSERT_EQ(replies.size(), 3u);
  EXPECT_EQ(GpsdProtoParse(replies[2])["class"], "POLL");
  EXPECT_TRUE(session.Watch().enable && session.Watch().json && session.Watch().pps);
}

TEST(GpsdProtocol, WatchPolicyPicksReports) {
  using K = GpsdReport::Kind;
  struct Case {
    GpsdWatch watch;
    GpsdReport report;
    bool wanted;
  };
  const auto watch = [](bool enable, bool json, bool nmea, int raw, bool pps, std::string device = "") {
    GpsdWatch w;
    w.enable = enable;
    w.json = json;
    w.nmea = nmea;
    w.raw = raw;
    w.pps = pps;
    w.device = std::move(device);
    return w;
  };
  const std::vector<Case> cases = {
      {watch(false, true, true, 1, true), {K::kJson, "/dev/a", ""}, false},
      {watch(true, true, false, 0, false), {K::kJson, "/dev/a", ""}, true},
      {watch(true, true, false, 0, false), {K::kTiming, "/dev/a", ""}, false},
      {watch(true, true, false, 0, true), {K::kTiming, "/dev/a", ""}, true},
      {watch(true, false, false, 0, true), {K::kTiming, "/dev/a", ""}, false},
      {watch(true, true, false, 0, false), {K::kRaw, "/dev/a", ""}, false},
      {watch(true, false, true, 0, false), {K::kRaw, "/dev/a", ""}, true},
      {watch(true, false, false, 1, false), {K::kRaw, "/dev/a", ""}, true},
      {watch(true, false, true, 0, false), {K::kJson, "/dev/a", ""}, false},
      {watch(true, true, false, 0, false, "/dev/a"), {K::kJson, "/dev/a", ""}, true},
      {watch(true, true, false, 0, false, "/dev/b"), {K::kJson, "/dev/a", ""}, false},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) EXPECT_EQ(cases[i].watch.Wants(cases[i].report), cases[i].wanted) << i;
}

// One record as the host hands it over.
struct GpsdRecordStep {
  int kind;
  std::function<void(GpsdFeed&, std::vector<GpsdReport>&)> feed;
};

GpsdRecordStep GpsdRaw(const std::string& text, double t = 1000.0) {
  return {kSnsrInf, [=](GpsdFeed& feed, std::vector<GpsdReport>& out) {
            CSnsrInf raw;
            raw.m_time = t;
            raw.m_text = text;
            feed.OnRecord("/dev/gps0", kSnsrInf, raw, out);
          }};
}

GpsdRecordStep GpsdPos(int quality, double t = 1000.5) {
  return {kSnsrPos, [=](GpsdFeed& feed, std::vector<GpsdReport>& out) {
            CSnsrPos pos;
            pos.Stamp(t, 0);
            pos.m_quality = static_cast<std::uint16_t>(quality);
            pos.m_pos = CV3{11.516666666666667, 48.117299999999986, 592.3};
            feed.OnRecord("/dev/gps0", kSnsrPos, pos, out);
          }};
}

GpsdRecordStep GpsdTime(double gps, double t) {
  return {kSnsrTime, [=](GpsdFeed& feed, std::vector<GpsdReport>& out) {
            CSnsrTime time;
            time.Stamp(t, 0);
            time.m_gpsTime.SetValue(gps);
            feed.OnRecord("/dev/gps0", kSnsrTime, time, out);
          }};
}

GpsdRecordStep GpsdGyro(float heading) {
  return {kSnsrGyro, [=](GpsdFeed& feed, std::vector<GpsdReport>& out) {
            CSnsrGyro gyro;
            gyro.Stamp(1000.25, 0);
            gyro.m_heading = heading;
            feed.OnRecord("/dev/mru", kSnsrGyro, gyro, out);
          }};
}

GpsdRecordStep GpsdMotion() {
  return {kSnsrMru, [=](GpsdFeed& feed, std::vector<GpsdReport>& out) {
            CSnsrMru mru;
            mru.Stamp(1000.25, 0);
            mru.m_pitch = 1.5f;
            mru.m_roll = -2.25f;
            mru.m_heave = 0.9f;
            feed.OnRecord("/dev/mru", kSnsrMru, mru, out);
          }};
}

GpsdRecordStep GpsdPulse(double t) {
  return {kSnsrPps, [=](GpsdFeed& feed, std::vector<GpsdReport>& out) {
            CSnsrInf pulse;
            pulse.Stamp(t, 0);
            pulse.m_type = kSnsrPps;
            feed.OnRecord("/dev/pps0", kSnsrPps, pulse, out);
          }};
}

const std::string kGpsdGga = "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r";

struct GpsdRecordCase {
  const char* name;
  std::vector<GpsdRecordStep> steps;
  bool gpsClock;
  // The last step's reports: kind and line; a JSON line is compared as an object.
  std::vector<std::pair<GpsdReport::Kind, std::string>> expected;
};

TEST(GpsdProtocol, RecordsBecomeReports) {
  using K = GpsdReport::Kind;
  const std::vector<GpsdRecordCase> cases = {
      {"raw sentence", {GpsdRaw(kGpsdGga)}, false, {{K::kRaw, kGpsdGga + "\n"}}},
      {"binary or empty message", {GpsdRaw(std::string("\x01\x02", 2)), GpsdRaw("")}, false, {}},
      {"GGA fix with the line's time",
       {GpsdTime(710280930.0, 999.75), GpsdRaw(kGpsdGga), GpsdPos(1, 1000.75)},
       false,
       {{K::kJson,
         R"({"class":"TPV","device":"/dev/gps0","mode":3,"time":"2002-07-04T20:15:31.000Z","lat":48.117299999999986,)"
         R"("lon":11.516666666666667,"alt":592.3,"altHAE":592.3})"}}},
      {"DGPS fix, no time yet",
       {GpsdRaw("$GPGGA,x"), GpsdPos(2)},
       false,
       {{K::kJson,
         R"({"class":"TPV","device":"/dev/gps0","mode":3,"status":2,"lat":48.117299999999986,)"
         R"("lon":11.516666666666667,"alt":592.3,"altHAE":592.3})"}}},
      {"a sentence without height is a plane fix",
       {GpsdRaw("$GPRMC,x"), GpsdPos(1)},
       false,
       {{K::kJson, R"({"class":"TPV","device":"/dev/gps0","mode":2,"lat":48.117299999999986,"lon":11.516666666666667})"}}},
      {"estimated fix",
       {GpsdRaw("$GPGGA,x"), GpsdPos(6)},
       false,
       {{K::kJson,
         R"({"class":"TPV","device":"/dev/gps0","mode":2,"status":6,"lat":48.117299999999986,"lon":11.516666666666667})"}}},
      {"no fix on a line that never had one", {GpsdRaw("$PHSPD,x"), GpsdPos(0)}, false, {}},
      {"fix lost", {GpsdRaw("$GPGGA,x"), GpsdPos(1), GpsdPos(0)}, false,
       {{K::kJson, R"({"class":"TPV","device":"/dev/gps0","mode":1})"}}},
      {"heading", {GpsdGyro(123.4f)}, false,
       {{K::kJson, R"({"class":"ATT","device":"/dev/mru","time":"1980-01-01T00:16:40.250Z","heading":123.4})"}}},
      {"heading not a number", {GpsdGyro(NAN)}, false,
       {{K::kJson, R"({"class":"ATT","device":"/dev/mru","time":"1980-01-01T00:16:40.250Z"})"}}},
      {"motion", {GpsdMotion()}, false,
       {{K::kJson,
         R"({"class":"ATT","device":"/dev/mru","time":"1980-01-01T00:16:40.250Z","pitch":1.5,"roll":-2.25,"heave":0.9})"}}},
      {"time offset", {GpsdTime(710280930.0, 710280930.25)}, false,
       {{K::kTiming, R"({"class":"TOFF","device":"/dev/gps0","real_sec":1025813730,"real_nsec":0,)"
                     R"("clock_sec":1025813730,"clock_nsec":250000000})"}}},
      {"pulse without a GPS model", {GpsdPulse(2000.0)}, false, {}},
      {"pulse names the nearest GPS second", {GpsdPulse(1999.75)}, true,
       {{K::kTiming, R"({"class":"PPS","device":"/dev/pps0","real_sec":315534802,"real_nsec":0,)"
                     R"("clock_sec":315534799,"clock_nsec":750000000})"}}},
  };
  for (const GpsdRecordCase& c : cases) {
    SCOPED_TRACE(c.name);
    GpsdFeed feed;
    // The model runs two seconds ahead of the host clock.
    if (c.gpsClock) feed.SetGpsClock([](double t) -> std::optional<double> { return t + 2.0; });
    std::vector<GpsdReport> out;
    for (const GpsdRecordStep& step : c.steps) {
      out.clear();
      step.feed(feed, out);
    }
    ASSERT_EQ(out.size(), c.expected.size());
    for (std::size_t i = 0; i < out.size(); ++i) {
      EXPECT_EQ(out[i].kind, c.expected[i].first);
      if (out[i].kind == K::kRaw) {
        EXPECT_EQ(out[i].line, c.expected[i].second);
      } else {
        EXPECT_EQ(GpsdProtoParse(out[i].line), GpsdProtoJson::parse(c.expected[i].second)) << out[i].line;
      }
    }
  }
}

TEST(GpsdProtocol, PollAndDevicesFollowTheRecords) {
  GpsdFeed feed;
  feed.AddDevice({"/dev/mru", "TSS", 19200}, 10.0);
  GpsdSession session(feed);
  std::vector<GpsdReport> out;
  GpsdRaw(kGpsdGga).feed(feed, out);
  GpsdPos(1).feed(feed, out);
  GpsdPos(1, 1001.5).feed(feed, out);

  const GpsdProtoJson poll = GpsdProtoParse(session.Receive("?POLL;", 1002.0).at(0));
  EXPECT_EQ(poll["active"], 1);
  ASSERT_EQ(poll["tpv"].size(), 1u);
  EXPECT_EQ(poll["tpv"][0], GpsdProtoParse(out.back().line));

  const GpsdProtoJson devices = GpsdProtoParse(session.Receive("?DEVICES;", 1002.0).at(0));
  ASSERT_EQ(devices["devices"].size(), 2u);
  EXPECT_EQ(devices["devices"][0]["path"], "/dev/gps0");
  EXPECT_EQ(devices["devices"][0]["flags"], 1);
  EXPECT_EQ(devices["devices"][1]["driver"], "TSS");
  EXPECT_FALSE(devices["devices"][1].contains("flags"));
}

}  // namespace
