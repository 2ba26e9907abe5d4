// The demonstration station's parts: the UDP peer's stall pings as framed
// packets on the wire, and the host configuration the demo makes (which keeps
// what the command line chose).
#include <gtest/gtest.h>

#include "net/udp_socket.h"
#include "nyxhost/demo_station.h"
#include "support/pty_pair.h"

using namespace std::chrono_literals;

TEST(DemoStation, PeerSendsFramedStallPingsAlternately) {
  CUdpSocket listener;
  ASSERT_EQ(listener.Open(0), 0);
  StallPingPeer peer("127.0.0.1", listener.LocalPort(), 0ms, 30ms);
  peer.Start();
  std::vector<std::vector<unsigned char>> packets;
  ASSERT_TRUE(WaitUntil([&] {
    unsigned char buffer[2048];
    for (long n; (n = listener.Receive(buffer, sizeof buffer)) > 0;) packets.emplace_back(buffer, buffer + n);
    return packets.size() >= 3;
  }));
  peer.Stop();
  EXPECT_GE(peer.Sent(), 3u);
  const char* sentences[] = {"$PVKRSTP,1*55", "$PVKRSTP,0*54", "$PVKRSTP,1*55"};
  for (std::size_t i = 0; i < 3; ++i) {
    const auto& p = packets[i];
    const std::string text = sentences[i];
    ASSERT_EQ(p.size(), 16 + text.size() + 1) << i;
    EXPECT_EQ(p[0], 0) << i;  // a packet the controller's filter lets through
    EXPECT_EQ(p[1], 1) << i;
    EXPECT_EQ(p[2] | p[3] << 8, static_cast<int>(text.size() + 1 + 12)) << i;
    EXPECT_EQ(p[6] | p[7] << 8, 0x0105) << i;
    EXPECT_EQ(std::string(p.begin() + 16, p.end()), text + '\0') << i;
  }
}

TEST(DemoStation, StopsAtOnceWhileWaitingForThePeriod) {
  StallPingPeer peer("127.0.0.1", 9, 1h, 1h);
  peer.Start();
  const auto start = std::chrono::steady_clock::now();
  peer.Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);
  EXPECT_EQ(peer.Sent(), 0u);
}

TEST(DemoStation, ConfiguresALinePerSensorAndKeepsWhatTheCommandLineChose) {
  HostConfig config;
  config.Line(3).decode = "TSS Std 1";
  config.comPaths[5] = "/dev/nyx-sos";
  config.udp.dstPort = 40123;
  DemoStation demo;
  std::string error;
  ASSERT_TRUE(demo.Start(config, error)) << error;
  // A line per sensor (the demo run turns them all green); what was given stays.
  ASSERT_EQ(config.lines.size(), DemoStation::Sensors().size());
  EXPECT_EQ(config.Line(3).decode, "TSS Std 1");
  EXPECT_EQ(config.comPaths.at(5), "/dev/nyx-sos");
  EXPECT_EQ(config.Line(6).syncChar, ";");
  EXPECT_TRUE(config.enable && config.udp.enable);
  EXPECT_EQ(std::tie(config.udp.host, config.udp.dstPort), std::make_tuple("127.0.0.1", 40123));
  EXPECT_NE(config.udp.srcPort.value_or(40123), 40123);
  demo.Stop();
}
