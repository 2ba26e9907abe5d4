// Framed packets without sockets: the bytes a send builds, and what a received
// datagram passes on (text, stall and trigger pings, checksum alarms).
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "host/records.h"
#include "net/framed_packet_manager.h"
#include "net/udp_link.h"
#include "net/loopback.h"
#include "support/capture.h"

namespace {

using ByteVector = std::vector<unsigned char>;
using loopback::Packet;
using loopback::U16At;
using loopback::U32At;

constexpr const char* kIdle = "Sonar is idle";

struct RxCase {
  const char* name;
  ByteVector datagram;
  std::string text;  // the link's text afterwards
  int kind;          // info message passed on, or 0
  long value;        // trigger value, or the stall flags (both alike)
  int checksum;      // the stall record's checksum
  int alarm;         // checksum alarm, or 0
};

}  // namespace

TEST(FramedPacket, ReceivedDatagramsPassOnTheirCommands) {
  const std::string big(300, 'A');
  ByteVector oversized = Packet("$PVKRTRP,5*50");
  oversized.resize(2000, 'Z');
  ByteVector trailing = Packet("$PVKRTRP,5*50");
  trailing.insert(trailing.end(), {'j', 'u', 'n', 'k'});

  const RxCase cases[] = {
      {"stall ping, v = 1", Packet("$PVKRSTP,1*55"), "$PVKRSTP,1*55", kInfoStallPing, 1, 0x55, 0},
      {"stall ping, v = 0 clears the flags", Packet("$PVKRSTP,0*54"), "$PVKRSTP,0*54", kInfoStallPing, 0, 0x54, 0},
      {"stall ping, v = 12", Packet("$PVKRSTP,12*67"), "$PVKRSTP,12*67", kInfoStallPing, 1, 0x67, 0},
      {"stall ping ending CR LF", Packet("$PVKRSTP,1*55\r\n"), "$PVKRSTP,1*55\r\n", kInfoStallPing, 1, 0x55, 0},
      {"trigger ping, v = 5", Packet("$PVKRTRP,5*50"), "$PVKRTRP,5*50", kInfoTriggerPing, 5, 0, 0},
      {"trigger ping, negative v, lower-case hex", Packet("$PVKRTRP,-3*7b"), "$PVKRTRP,-3*7b", kInfoTriggerPing, -3, 0, 0},
      {"wrong stall checksum", Packet("$PVKRSTP,1*56"), "$PVKRSTP,1*56", 0, 0, 0, 3110},
      {"wrong trigger checksum", Packet("$PVKRTRP,5*51"), "$PVKRTRP,5*51", 0, 0, 0, 3111},
      {"checksum counts the wide character of byte 0x80", Packet("$PVKRTRP,0*8A \x80*"), "$PVKRTRP,0*8A \xE2\x82\xAC*",
       kInfoTriggerPing, 0, 0, 0},
      {"longer tag", Packet("$PVKRSTPX,1*55"), "$PVKRSTPX,1*55", 0, 0, 0, 0},
      {"no checksum", Packet("$PVKRSTP,1"), "$PVKRSTP,1", 0, 0, 0, 0},
      {"no number", Packet("$PVKRSTP,x*55"), "$PVKRSTP,x*55", 0, 0, 0, 0},
      {"no comma", Packet("$PVKRTRP 5*50"), "$PVKRTRP 5*50", 0, 0, 0, 0},
      {"four-character checksum field", Packet("$PVKRSTP,1*055"), "$PVKRSTP,1*055", 0, 0, 0, 0},
      {"tag not at the start", Packet(" $PVKRSTP,1*55"), " $PVKRSTP,1*55", 0, 0, 0, 0},
      {"other text", Packet("Sonar pinging"), "Sonar pinging", 0, 0, 0, 0},
      {"text ends at its first NUL", Packet(std::string("AB\0$PVKRTRP,5*50", 16)), "AB", 0, 0, 0, 0},
      {"payload without NUL", Packet("$PVKRTRP,5*50", -1, 0, false), "$PVKRTRP,5*50", kInfoTriggerPing, 5, 0, 0},
      {"bytes after the declared length", trailing, "$PVKRTRP,5*50", kInfoTriggerPing, 5, 0, 0},
      {"datagram beyond the buffer", oversized, "$PVKRTRP,5*50", kInfoTriggerPing, 5, 0, 0},
      {"300 declared payload bytes give 256", Packet(big, 312, 0, false), big.substr(0, 256), 0, 0, 0, 0},
      {"length field below 12: empty text", Packet("$PVKRTRP,5*50", 5), "", 0, 0, 0, 0},
      {"shorter than declared", Packet("$PVKRTRP,5*50", 12 + 30), kIdle, 0, 0, 0, 0},
      {"shorter than a header", ByteVector(15, 0), kIdle, 0, 0, 0, 0},
  };
  for (const auto& c : cases) {
    ScopedReports reports;
    RecordCollector host;
    CUDPLink link;
    link.m_pManager->ReceivePacket(c.datagram.data(), static_cast<int>(c.datagram.size()));

    EXPECT_EQ(link.GetText(), c.text) << c.name;
    const auto all = host.All();
    if (c.kind == 0) {
      EXPECT_TRUE(all.empty()) << c.name;
    } else {
      ASSERT_EQ(all.size(), 1u) << c.name;
      EXPECT_EQ(all[0].kind, c.kind) << c.name;
      if (c.kind == kInfoTriggerPing) {
        EXPECT_EQ(all[0].value, c.value) << c.name;
      }
      if (c.kind == kInfoStallPing) {
        EXPECT_EQ(all[0].record["flag_a"], c.value) << c.name;
        EXPECT_EQ(all[0].record["flag_b"], c.value) << c.name;
        EXPECT_EQ(all[0].record["checksum"], c.checksum) << c.name;
        EXPECT_EQ(all[0].record["text"], c.text) << c.name;
      }
    }
    const auto alarms = reports->Of(Nyx::ReportKind::Alarm);
    if (c.alarm == 0) {
      EXPECT_TRUE(alarms.empty()) << c.name;
    } else {
      ASSERT_EQ(alarms.size(), 1u) << c.name;
      EXPECT_EQ(alarms[0].id, c.alarm) << c.name;
      EXPECT_EQ(alarms[0].level, 1) << c.name;
      EXPECT_EQ(alarms[0].text, c.alarm == 3110 ? "UDP Stall Ping packet checksum incorrect"
                                                : "UDP Trigger Ping packet checksum incorrect")
          << c.name;
    }
  }
}

TEST(FramedPacket, ReceivingKeepsTheDatagramAndLocksSending) {
  CUDPLink link;
  CFramedSerialPacketManager& manager = *link.m_pManager;
  manager.m_bSendLocked = 0;
  const ByteVector datagram = Packet("hello");
  manager.ReceivePacket(datagram.data(), static_cast<int>(datagram.size()));
  const auto& header = manager.m_header;
  EXPECT_EQ(std::make_tuple(manager.m_rxLength, manager.m_bSendLocked, header.m_start, header.m_length, header.m_type,
                            header.m_seconds, header.m_microseconds),
            std::make_tuple(22, 1, 0, 18, 0x0105, 7u, 1000000u));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(manager.m_payload.data())), "hello");

  // A stall ping after a wrong one still gives the record its new checksum.
  ScopedReports reports;
  RecordCollector host;
  const ByteVector wrong = Packet("$PVKRSTP,1*00");
  manager.ReceivePacket(wrong.data(), static_cast<int>(wrong.size()));
  EXPECT_EQ(std::make_tuple(manager.m_pStallPing->m_checksum, manager.m_pStallPing->m_flagA), std::make_tuple(0, 1));
  EXPECT_TRUE(host.All().empty());

  // Reset restores the header and clears the lengths and the payload's head.
  manager.Reset();
  EXPECT_EQ(std::make_tuple(header.m_start, header.m_version, header.m_length, header.m_type, header.m_seconds,
                            manager.m_rxLength, manager.m_payload[0], manager.m_bufferSize),
            std::make_tuple(2, 1, 12, 0, 0u, 0, 0, 1016));
}

TEST(FramedPacket, SendBuildsHeaderAndTextFromTheStartOfTheManager) {
  struct SendCase {
    const char* name;
    std::string text;
    double after;  // seconds after the manager's start on the host clock
    int millitm;   // forced milliseconds, or -1 for the clock's
    std::uint32_t seconds;
    std::uint32_t micros;
  };
  const SendCase cases[] = {
      {"three characters at the start", "abc", 0.0, -1, 0, 0},
      {"5 s and 700 ms later", "abc", 5.7, -1, 5, 700000},
      {"milliseconds truncate", "abc", 2.0019, -1, 2, 1000},
      {"empty text is its NUL alone", "", 1.0, -1, 1, 0},
      {"999 characters fill the payload", std::string(999, 'x'), 0.5, -1, 0, 500000},
      {"milliseconds past a second carry", "abc", 3.0, 2500, 5, 500000},
  };
  for (const auto& c : cases) {
    ScopedClock clock(1000.0);
    CFramedSerialPacketManager manager;
    clock->Set(1000.0 + c.after);
    TimeB64 now = ReadTimeB64();
    if (c.millitm >= 0) now.millitm = static_cast<std::uint16_t>(c.millitm);
    manager.SendUnlocked(c.text.c_str(), static_cast<int>(c.text.size() + 1), 12345, now);

    const int k = static_cast<int>(c.text.size());
    ASSERT_EQ(manager.m_txLength, k + 17) << c.name;
    const unsigned char* out = manager.m_buffer.get();
    EXPECT_EQ(std::make_tuple(out[0], out[1], U16At(out + 2), U16At(out + 4), U16At(out + 6), U32At(out + 8), U32At(out + 12)),
              std::make_tuple(0, 1, k + 13, 0, 0x0105, c.seconds, c.micros)) << c.name;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(out + 16), k + 1), c.text + '\0') << c.name;
  }
}

TEST(FramedPacket, SendRefusesWhatItCannotFrame) {
  ScopedClock clock(1000.0);
  CFramedSerialPacketManager manager;
  const TimeB64 now = ReadTimeB64();
  const std::string tooLong(1000, 'x');
  struct RefusedCase {
    const char* name;
    const char* payload;
    int n;
  };
  const RefusedCase cases[] = {
      {"no bytes", "abc", 0},
      {"negative count", "abc", -4},
      {"more than the payload area", tooLong.c_str(), 1001},
      {"no payload", nullptr, 4},
  };
  for (const auto& c : cases) {
    manager.SendUnlocked(c.payload, c.n, 0, now);
    EXPECT_EQ(manager.m_txLength, 0) << c.name;
  }
  // Locked, as after a reset: nothing, until the sender unlocks.
  manager.Reset();
  manager.SendPacket("abc", 4, 0, now);
  EXPECT_EQ(manager.m_txLength, 0);
  // Unlocked without the sender's part, byte 0 keeps its reset value.
  manager.m_bSendLocked = 0;
  manager.SendPacket("abc", 4, 0, now);
  EXPECT_EQ(manager.m_txLength, 20);
  EXPECT_EQ(manager.m_buffer[0], 2);
}

TEST(FramedPacket, ClockReadingComesFromTheHostClock) {
  struct ClockCase {
    double host;
    std::int64_t time;
    int millitm;
  };
  const ClockCase cases[] = {
      {0.0, 315532800, 0},
      {1000.7, 315533800, 700},
      {1000.9999, 315533800, 999},
      {-0.25, 315532799, 750},
  };
  for (const auto& c : cases) {
    ScopedClock clock(c.host);
    const TimeB64 now = ReadTimeB64();
    EXPECT_EQ(now.time, c.time) << c.host;
    EXPECT_EQ(now.millitm, c.millitm) << c.host;
  }
}

TEST(FramedPacket, SentenceScanFollowsScanfRules) {
  struct ScanCase {
    const char* text;
    int fields;
    const char* tag;
    int value;
    const char* suffix;
  };
  const ScanCase cases[] = {
      {"$PVKRSTP,1*55", 3, "$PVKRSTP", 1, "*55"},
      {"$PVKRSTP, +7 *55", 3, "$PVKRSTP", 7, "*55"},
      {"$PVKRSTP,99999999999*55", 3, "$PVKRSTP", 2147483647, "*55"},
      {"$PVKRSTP,-99999999999*55", 3, "$PVKRSTP", -2147483647 - 1, "*55"},
      {"$PVKRSTP,1*5", 3, "$PVKRSTP", 1, "*5"},
      {"$PVKRSTP,1*5 junk", 3, "$PVKRSTP", 1, "*5"},
      {"$PVKRSTP,1*555", 2, "$PVKRSTP", 1, ""},
      {"$PVKRSTP,1", 2, "$PVKRSTP", 1, ""},
      {"$PVKRSTP,1   ", 2, "$PVKRSTP", 1, ""},
      {"$PVKRSTP,-*55", 1, "$PVKRSTP", 0, ""},
      {"$PVKRSTP ,1*55", 1, "$PVKRSTP", 0, ""},
      {"$PVKRSTPQ,1*55", 1, "$PVKRSTP", 0, ""},
      {"$PVK,1*55", 1, "$PVK,1*5", 0, ""},  // %8s does not stop at a comma
      {"   ", -1, "", 0, ""},
  };
  for (const auto& c : cases) {
    PingSentence sentence;
    EXPECT_EQ(ScanPingSentence(c.text, sentence), c.fields) << c.text;
    if (c.fields >= 1) {
      EXPECT_EQ(sentence.tag, c.tag) << c.text;
    }
    if (c.fields >= 2) {
      EXPECT_EQ(sentence.value, c.value) << c.text;
    }
    if (c.fields >= 3) {
      EXPECT_EQ(sentence.suffix, c.suffix) << c.text;
    }
  }
}

TEST(FramedPacket, ChecksumsOnBothSides) {
  struct SumCase {
    const char* text;
    int value;
  };
  const SumCase received[] = {
      {"*55", 0x55}, {"**5", 0x05}, {"*7b", 0x7B}, {"", 0}, {"*", 0}, {"*zz", 0}, {"-1", 0xFF}, {"FFF", 0xFF},
  };
  for (const auto& c : received) EXPECT_EQ(ReceivedChecksum(c.text), c.value) << c.text;
  const SumCase computed[] = {
      {"$PVKRSTP,1*55", 0x55},
      {"$$PVKRSTP,1*55", 0x55},         // every leading '$' goes
      {"$PVKRSTP,1*55*00", 0x55 ^ '*' ^ '5' ^ '5'},  // cut at the last '*'
      {"$PVKRSTP,1", 0x55},             // no '*': the whole text
      {"$$$", 0},
      {"$\x80*", 0xAC},
  };
  for (const auto& c : computed) EXPECT_EQ(ComputedChecksum(c.text), c.value) << c.text;
}
