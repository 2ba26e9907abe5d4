// Framed packets without sockets: the bytes a send builds, and what a received
// datagram passes on (text, stall and trigger pings, checksum alarms).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/records.h"
#include "net/framed_packet_manager.h"
#include "net/loopback.h"
#include "net/udp_link.h"
#include "support/capture.h"

namespace {

using loopback::Packet;
using loopback::U16At;
using loopback::U32At;
using loopback::Unescape;

TEST(FramedPacket, ReceivedDatagramsPassOnTheirCommands) {
  const auto rows = loopback::ReadTable("framed_rx.txt");
  ASSERT_GT(rows.size(), 20u);
  for (const auto& row : rows) {
    ASSERT_EQ(row.size(), 8u) << row[0];
    const std::string& name = row[0];
    const std::string payload = Unescape(row[1]);
    std::vector<unsigned char> datagram(payload.begin(), payload.end());
    if (row[2] != "raw") datagram = loopback::Frame(payload, row[2] == "-" ? -1 : std::stoi(row[2]));
    const std::string text = Unescape(row[3]);
    const int kind = row[4] == "stall" ? kInfoStallPing : row[4] == "trigger" ? kInfoTriggerPing : 0;
    const long value = std::stol(row[5]);
    const int alarm = std::stoi(row[7]);

    ScopedReports reports;
    RecordCollector host;
    CUDPLink link;
    link.m_pManager->ReceivePacket(datagram.data(), static_cast<int>(datagram.size()));

    EXPECT_EQ(link.GetText(), text) << name;
    const auto all = host.All();
    ASSERT_EQ(all.size(), kind ? 1u : 0u) << name;
    if (kind) {
      EXPECT_EQ(all[0].kind, kind) << name;
    }
    if (kind == kInfoTriggerPing) {
      EXPECT_EQ(all[0].value, value) << name;
    } else if (kind == kInfoStallPing) {
      EXPECT_EQ(all[0].record["flag_a"], value) << name;
      EXPECT_EQ(all[0].record["flag_b"], value) << name;
      EXPECT_EQ(all[0].record["checksum"], std::stoi(row[6], nullptr, 16)) << name;
      EXPECT_EQ(all[0].record["text"], text) << name;
    }
    const auto alarms = reports->Of(Nyx::ReportKind::Alarm);
    ASSERT_EQ(alarms.size(), alarm ? 1u : 0u) << name;
    if (alarm) {
      EXPECT_EQ(alarms[0].id, alarm) << name;
      EXPECT_EQ(alarms[0].level, 1) << name;
      EXPECT_EQ(alarms[0].text, alarm == 3110 ? "UDP Stall Ping packet checksum incorrect"
                                              : "UDP Trigger Ping packet checksum incorrect");
    }
  }
}

TEST(FramedPacket, ReceivingLocksSendingUntilTheSenderClearsIt) {
  CUDPLink link;
  CFramedSerialPacketManager& manager = *link.m_pManager;
  manager.m_bSendLocked = 0;
  const auto wrong = Packet("$PVKRSTP,1*00");
  manager.ReceivePacket(wrong.data(), static_cast<int>(wrong.size()));
  // A stall ping with a wrong checksum still gives the record its checksum.
  EXPECT_EQ(std::make_tuple(manager.m_pStallPing->m_checksum, manager.m_pStallPing->m_flagA),
            std::make_tuple(0, 1));
  const TimeB64 now = ReadTimeB64();
  manager.SendPacket("abc", 4, 0, now);
  EXPECT_EQ(std::make_tuple(manager.m_rxLength, manager.m_bSendLocked, manager.m_txLength),
            std::make_tuple(30, 1, 0));

  // Unlocked without the sender's part, byte 0 keeps its reset value.
  manager.Reset();
  EXPECT_EQ(std::make_tuple(manager.m_header.m_length, manager.m_rxLength, manager.m_payload[0]),
            std::make_tuple(12, 0, 0));
  manager.m_bSendLocked = 0;
  manager.SendPacket("abc", 4, 0, now);
  EXPECT_EQ(manager.m_txLength, 20);
  EXPECT_EQ(manager.m_buffer[0], 2);
  for (const int n : {0, -4, 1001}) {
    manager.SendUnlocked(std::string(1000, 'x').c_str(), n, 0, now);
    EXPECT_EQ(manager.m_txLength, 20) << n;
  }
}

TEST(FramedPacket, SendBuildsHeaderAndTextFromTheStartOfTheManager) {
  struct SendCase {
    std::string text;
    double after;  // seconds after the manager's start on the host clock
    int millitm;   // forced milliseconds, or -1 for the clock's
    std::uint32_t seconds;
    std::uint32_t micros;
  };
  const SendCase cases[] = {
      {"abc", 0.0, -1, 0, 0},        {"abc", 5.7, -1, 5, 700000},
      {"abc", 2.0019, -1, 2, 1000},  {"", 1.0, -1, 1, 0},
      {std::string(999, 'x'), 0.5, -1, 0, 500000},
      {"abc", 3.0, 2500, 5, 500000},  // milliseconds past a second carry
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.after);
    ScopedClock clock(1000.0);
    CFramedSerialPacketManager manager;
    clock->Set(1000.0 + c.after);
    TimeB64 now = ReadTimeB64();
    if (c.millitm >= 0) now.millitm = static_cast<std::uint16_t>(c.millitm);
    manager.SendUnlocked(c.text.c_str(), static_cast<int>(c.text.size() + 1), 12345, now);

    const int k = static_cast<int>(c.text.size());
    ASSERT_EQ(manager.m_txLength, k + 17);
    const unsigned char* out = manager.m_buffer.get();
    EXPECT_EQ(std::make_tuple(out[0], out[1], U16At(out + 2), U16At(out + 4), U16At(out + 6), U32At(out + 8),
                              U32At(out + 12)),
              std::make_tuple(0, 1, k + 13, 0, 0x0105, c.seconds, c.micros));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(out + 16), k + 1), c.text + '\0');
  }
}

}  // namespace
