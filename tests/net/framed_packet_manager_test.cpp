// Framed packets without sockets: the bytes a send builds, what a received datagram passes on.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/records.h"
#include "net/framed_packet_manager.h"
#include "net/loopback.h"
#include "net/udp_link.h"
#include "support/capture.h"

namespace {

using loopback::Unescape;

TEST(FramedPacket, ReceivedDatagramsPassOnTheirCommands) {
  for (const auto& row : loopback::ReadTable("framed_rx.txt")) {
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
  const auto wrong = loopback::Packet("$PVKRSTP,1*00");
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
  for (const auto& row : loopback::ReadTable("framed_tx.txt")) {
    SCOPED_TRACE(row[1]);
    ScopedClock clock(1000.0);
    CFramedSerialPacketManager manager;
    clock->Set(1000.0 + std::stod(row[1]));
    TimeB64 now = ReadTimeB64();
    if (row[2] != "-") now.millitm = static_cast<std::uint16_t>(std::stoi(row[2]));
    const std::string text = Unescape(row[0]);
    manager.SendUnlocked(text.c_str(), static_cast<int>(text.size() + 1), 12345, now);
    const std::string want = Unescape(row[3]) + text + '\0';
    ASSERT_EQ(manager.m_txLength, static_cast<int>(want.size()));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(manager.m_buffer.get()), want.size()), want);
  }
}

}  // namespace
