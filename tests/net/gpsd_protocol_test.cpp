// The gpsd protocol without sockets: requests, watch policy, the reports records become.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "host/records.h"
#include "net/gpsd_protocol.h"
#include "net/loopback.h"
#include "support/json_subset.h"

namespace {

using Json = nlohmann::json;
using loopback::ReadTable;
using loopback::Unescape;

Json Parse(const std::string& line) {
  EXPECT_TRUE(line.ends_with("\r\n")) << line;
  return Json::parse(line);
}

std::vector<std::string> Words(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> words;
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

// One step of gpsd_records.txt (its steps are described there).
void Feed(GpsdFeed& feed, const std::string& step, std::vector<GpsdReport>& out) {
  std::vector<std::string> words = Words(step);
  double t = 1000.25;
  if (words.back()[0] == '@') {
    t = std::stod(words.back().substr(1));
    words.pop_back();
  }
  const std::string& what = words[0];
  const std::string arg = words.size() > 1 ? Unescape(words[1]) : "";
  const auto send = [&](CSnsr& record, int kind, const char* device) {
    record.Stamp(t, 0);
    feed.OnRecord(device, kind, record, out);
  };
  if (what == "raw") {
    CSnsrInf raw;
    raw.m_text = arg;
    send(raw, kSnsrInf, "/dev/gps0");
  } else if (what == "pos") {
    CSnsrPos pos;
    pos.m_quality = static_cast<std::uint16_t>(std::stoi(arg));
    pos.m_pos = CV3{11.516666666666667, 48.117299999999986, 592.3};
    send(pos, kSnsrPos, "/dev/gps0");
  } else if (what == "time") {
    CSnsrTime time;
    time.m_gpsTime.SetValue(std::stod(arg));
    send(time, kSnsrTime, "/dev/gps0");
  } else if (what == "gyro") {
    CSnsrGyro gyro;
    gyro.m_heading = std::stof(arg);
    send(gyro, kSnsrGyro, "/dev/mru");
  } else if (what == "mru") {
    CSnsrMru mru;
    mru.m_pitch = 1.5f;
    mru.m_roll = -2.25f;
    mru.m_heave = 0.9f;
    send(mru, kSnsrMru, "/dev/mru");
  } else {
    CSnsrInf pulse;
    pulse.m_type = kSnsrPps;
    send(pulse, kSnsrPps, "/dev/pps0");
  }
}

// Feeds the steps of a table field, between "&&"; out keeps the last step's reports.
void FeedAll(GpsdFeed& feed, const std::string& steps, std::vector<GpsdReport>& out) {
  for (std::size_t at = 0, end = 0; end != std::string::npos && !steps.empty(); at = end + 2) {
    end = steps.find("&&", at);
    out.clear();
    Feed(feed, steps.substr(at, end - at), out);
  }
}

TEST(GpsdProtocol, RequestsAndReplies) {
  for (const auto& row : ReadTable("gpsd_requests.txt")) {
    SCOPED_TRACE(row[1].substr(0, 60));
    GpsdFeed feed;
    feed.AddDevice({"/dev/gps0", "GPGGA", 4800}, 1000.0);
    std::vector<GpsdReport> reports;
    FeedAll(feed, row[0], reports);
    GpsdSession session(feed);
    std::vector<std::string> replies;
    for (std::size_t at = 0, end = 0; end != std::string::npos; at = end + 4) {
      end = row[1].find(" && ", at);
      for (const std::string& reply : session.Receive(Unescape(row[1].substr(at, end - at)), 1000.0)) {
        replies.push_back(reply);
      }
    }
    std::vector<std::string> classes;
    for (const std::string& reply : replies) classes.push_back(Parse(reply)["class"]);
    EXPECT_EQ(classes, Words(row[2]));
    if (!replies.empty()) ExpectJsonSubset(Parse(replies.back()), Json::parse(row[3]), row[1]);
  }
}

TEST(GpsdProtocol, WatchPolicyPicksReports) {
  for (const auto& row : ReadTable("gpsd_watch.txt")) {
    const auto flags = Words(row[0]);
    const GpsdWatch watch{.enable = flags[0] == "1", .json = flags[1] == "1", .nmea = flags[2] == "1",
                          .raw = std::stoi(flags[3]), .pps = flags[4] == "1",
                          .device = flags[5] == "-" ? "" : flags[5]};
    const auto report = Words(row[1]);
    using K = GpsdReport::Kind;
    const K kind = report[0] == "json" ? K::kJson : report[0] == "timing" ? K::kTiming : K::kRaw;
    EXPECT_EQ(watch.Wants({kind, report[1], ""}), row[2] == "1") << row[0] << " | " << row[1];
  }
}

TEST(GpsdProtocol, RecordsBecomeReports) {
  for (const auto& row : ReadTable("gpsd_records.txt")) {
    SCOPED_TRACE(row[0]);
    GpsdFeed feed;
    if (row[2] == "1") feed.SetGpsClock([](double t) -> std::optional<double> { return t + 2.0; });
    std::vector<GpsdReport> out;
    FeedAll(feed, row[1], out);
    ASSERT_EQ(out.size(), row[3].empty() ? 0u : 1u);
    if (out.empty()) continue;
    const std::string kind = row[3].substr(0, row[3].find(' '));
    const std::string line = Unescape(row[3].substr(kind.size() + 1));
    using K = GpsdReport::Kind;
    EXPECT_EQ(out[0].kind, kind == "raw" ? K::kRaw : kind == "json" ? K::kJson : K::kTiming);
    if (kind == "raw") {
      EXPECT_EQ(out[0].line, line);
    } else {
      EXPECT_EQ(Parse(out[0].line), Json::parse(line)) << out[0].line;
    }
  }
}

}  // namespace
