// Stall-ping and target-data sentences: checksums, flow-control codes, the kept
// stream record, and the binary frame search.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <random>

#include "comms/ecomm.h"
#include "formats/proprietary.h"
#include "host/records.h"
#include "port/port.h"
#include "support/capture.h"
#include "support/test_seed.h"

namespace {

enum StallDecoder { kDts, kHw, kSw, kString, kDecoderCount };

std::unique_ptr<CDecode> Make(StallDecoder which) {
  switch (which) {
    case kDts: return std::make_unique<CDecodeTELDataToHalde>();
    case kHw: return std::make_unique<CDecodeStallPingHardWare>();
    case kSw: return std::make_unique<CDecodeStallPingSoftWare>();
    default: return std::make_unique<CDecodeStallPingString>();
  }
}

const char* Name(int which) {
  static const char* names[] = {"VKR DTS", "SP HW", "SP SW", "SP String"};
  return names[which];
}

struct StallPing {
  int flag;  // both flags
  int checksum;
};

// One stall-ping text and what each decoder makes of it (result; record sent by
// SW and String when accepted).
struct StallPingCase {
  std::string msg;
  int results[kDecoderCount];  // DTS, HW, SW, String
  std::optional<StallPing> record;
};

}  // namespace

TEST(StallPing, SentencesChecksumsAndFlowControlCodes) {
  const StallPingCase cases[] = {
      {"$PVKRSTP,1,*79", {0, 0, 1, 1}, StallPing{1, 0x79}},
      {"$PVKRSTP,2,*7A", {0, 0, 1, 1}, StallPing{0, 0x7A}},  // only 1 stalls
      {"$PVKRSTP,2,*7a", {0, 0, 1, 1}, StallPing{0, 0x7A}},  // lower-case hex
      {"$PVKRSTP,0,*78", {0, 0, 1, 1}, StallPing{0, 0x78}},
      {"$PVKRSTP,1,*79 ", {0, 0, 0, 0}, std::nullopt},  // a trailing blank is part of the field
      {"$PVKRSTP, 1, *79", {0, 0, 1, 1}, StallPing{1, 0x79}},  // blanks after commas; they cancel in the XOR
      {"$PVKRSTP,1,**79", {0, 0, 0, 0}, std::nullopt},  // too long for the checksum field
      {"$PVKRSTP,1,*78", {0, 0, 0, 0}, std::nullopt},   // checksum mismatch
      {"$PVKRSTP,2,*7B", {0, 0, 0, 0}, std::nullopt},
      {"$PVKRSTP,2,*7b", {0, 0, 0, 0}, std::nullopt},
      {"$PVKRSTP,1*79", {0, 0, 0, 0}, std::nullopt},    // no comma before the checksum
      {"$PVKRSTP,1,*79\r", {0, 0, 0, 0}, std::nullopt},  // CR makes the field four characters
      {"$PVKRSTP,1,*79,x", {0, 0, 0, 0}, std::nullopt},  // a further field
      {"$PVKRSTP,1,", {0, 0, 0, 0}, std::nullopt},       // missing checksum
      {"$PVKRSTP,,*79", {0, 0, 0, 0}, std::nullopt},     // missing flag
      {"$PVKRSTP,1,*", {0, 0, 0, 0}, std::nullopt},      // empty checksum reads as 0
      {"$PVKRSTP,1,*GG", {0, 0, 0, 0}, std::nullopt},
      {"$pvkrstp,1,*59", {0, 0, 0, 0}, std::nullopt},    // header is case-sensitive (checksum right)
      {"$PVKRSTPX,1,*21", {0, 0, 0, 0}, std::nullopt},
      {"$$PVKRSTP,1,*79", {0, 0, 0, 0}, std::nullopt},
      {"PVKRSTP,1,*79", {0, 0, 0, 0}, std::nullopt},
      {"17", {1, 1, 1, 0}, std::nullopt},  // XON, framed as text
      {"19", {1, 1, 1, 0}, std::nullopt},  // XOFF
      {"-4", {1, 1, 1, 0}, std::nullopt},
      {"", {0, 0, 0, 0}, std::nullopt},
      {"\x11", {0, 0, 0, 0}, std::nullopt},
  };
  for (const auto& c : cases) {
    for (int which = 0; which < kDecoderCount; ++which) {
      RecordCollector host;
      auto decoder = Make(static_cast<StallDecoder>(which));
      std::string msg = c.msg;
      EXPECT_EQ(decoder->DecodeMsg(500.0, msg, 3), c.results[which]) << Name(which) << ": " << c.msg;
      const auto records = host.Records(kInfoStallPing);
      EXPECT_TRUE(host.Records(kInfoTargetData).empty()) << Name(which) << ": " << c.msg;
      const bool sends = c.record && (which == kSw || which == kString);
      if (!sends) {
        EXPECT_TRUE(records.empty()) << Name(which) << ": " << c.msg;
        continue;
      }
      ASSERT_EQ(records.size(), 1u) << Name(which) << ": " << c.msg;
      EXPECT_EQ(records[0]["class"], "CSnsStreamStallPing");
      EXPECT_EQ(records[0]["flag_a"], c.record->flag) << c.msg;
      EXPECT_EQ(records[0]["flag_b"], c.record->flag) << c.msg;
      EXPECT_EQ(records[0]["checksum"], c.record->checksum) << c.msg;
      EXPECT_EQ(records[0]["text"], c.msg) << c.msg;
    }
  }
}

namespace {

struct Target {
  double x, y, z;
  int flagA, flagB, checksum;
};

struct TargetCase {
  std::string msg;
  int result;
  std::optional<Target> record;  // from a fresh decoder (flag B starts at 0)
};

}  // namespace

TEST(TargetData, SentencesAndChecksums) {
  const TargetCase cases[] = {
      {"$PVKRDTS,1.5,2.5,3.5,1,*6A", 1, Target{1.5, 2.5, 3.5, 1, 1, 0x6A}},
      {"$PVKRDTS,1.5,2.5,3.5,1,*6a", 1, Target{1.5, 2.5, 3.5, 1, 1, 0x6A}},
      {"$PVKRDTS,1.5,2.5,3.5,0,*6B", 1, Target{1.5, 2.5, 3.5, 0, 0, 0x6B}},
      {"$PVKRDTS,1.5,2.5,3.5,7,*6C", 1, Target{1.5, 2.5, 3.5, 1, 1, 0x6C}},  // any non-zero flag
      {"$PVKRDTS,1.5,2.5,3.5,*77", 1, Target{1.5, 2.5, 3.5, 0, 0, 0x77}},
      {"$PVKRDTS,-10.25,4.75,100.5,1,*76", 1, Target{-10.25, 4.75, 100.5, 1, 1, 0x76}},
      // Single precision on the way in: 0.1 arrives as the float nearest it.
      {"$PVKRDTS,0.1,0,0,*73", 1, Target{static_cast<double>(0.1f), 0, 0, 0, 0, 0x73}},
      {"$PVKRDTS,1.5,2.5,3.5,1,*6B", 0, std::nullopt},
      {"$PVKRDTS,1.5,2.5,3.5,1,*6b", 0, std::nullopt},
      {"$PVKRDTS,1.5,2.5,3.5,*76", 0, std::nullopt},
      {"$pvkrdts,1.5,2.5,3.5,1,*4A", 0, std::nullopt},  // lower-case header (checksum right)
      {"$PVKRDTS,1.5,2.5,3.5,1,*6A\r", 0, std::nullopt},
      {"$PVKRDTS,1.5,2.5,3.5,1*6A", 0, std::nullopt},
      {"$PVKRDTS,1.5,2.5,*73", 0, std::nullopt},  // missing z (checksum right)
      {"$PVKRDTS,1.5,2.5,3.5", 0, std::nullopt},  // missing checksum
      {"$PVKRDTS,,2.5,3.5,1,*6A", 0, std::nullopt},
      {"$PVKRSTP,1,*79", 0, std::nullopt},
      {"17", 1, std::nullopt},
      {"19", 1, std::nullopt},
      {"", 0, std::nullopt},
  };
  for (const auto& c : cases) {
    RecordCollector host;
    CDecodeTELDataToHalde decoder;
    std::string msg = c.msg;
    EXPECT_EQ(decoder.DecodeMsg(500.0, msg, 3), c.result) << c.msg;
    const auto records = host.Records(kInfoTargetData);
    EXPECT_TRUE(host.Records(kInfoStallPing).empty());
    if (!c.record) {
      EXPECT_TRUE(records.empty()) << c.msg;
      continue;
    }
    ASSERT_EQ(records.size(), 1u) << c.msg;
    const auto& r = records[0];
    EXPECT_EQ(r["class"], "CSnsStreamSCADA");
    EXPECT_EQ(r["x"].get<double>(), c.record->x) << c.msg;
    EXPECT_EQ(r["y"].get<double>(), c.record->y) << c.msg;
    EXPECT_EQ(r["z"].get<double>(), c.record->z) << c.msg;
    EXPECT_EQ(r["flag_a"], c.record->flagA) << c.msg;
    EXPECT_EQ(r["flag_b"], c.record->flagB) << c.msg;
    EXPECT_EQ(r["checksum"], c.record->checksum) << c.msg;
    EXPECT_EQ(r["text"], c.msg);
  }
}

namespace {

// A host window that keeps the data pointers of the stream records.
class PointerCatcher : public CNyxWnd {
 public:
  PointerCatcher() { Join(s_infoRx, this); }
  ~PointerCatcher() override { LeaveReceiverLists(); }
  void OnInfoMsg(int kind, void* data) override {
    if (kind == kInfoTargetData || kind == kInfoStallPing) m_pointers.push_back(data);
  }
  std::vector<void*> m_pointers;
};

}  // namespace

TEST(TargetData, KeptRecordCarriesFlagBAcrossSentences) {
  struct Step {
    const char* msg;
    int result;
    int flagA, flagB;  // of the kept record afterwards
  };
  const Step steps[] = {
      {"$PVKRDTS,1.5,2.5,3.5,*77", 1, 0, 0},
      {"$PVKRDTS,1.5,2.5,3.5,1,*6A", 1, 1, 1},
      {"$PVKRDTS,1.5,2.5,3.5,*77", 1, 0, 1},  // five fields: B stays as the last flag set it
      {"$PVKRDTS,1.5,2.5,3.5,*77", 1, 0, 1},
      {"$PVKRDTS,1.5,2.5,3.5,0,*6B", 1, 0, 0},
      {"$PVKRDTS,1.5,2.5,3.5,1,*6A", 1, 1, 1},
      // Fields are written before the checksum test: a rejected six-field
      // sentence still moves both flags, though nothing is sent.
      {"$PVKRDTS,1.5,2.5,3.5,0,*00", 0, 0, 0},
      {"$PVKRDTS,1.5,2.5,3.5,*77", 1, 0, 0},
  };
  RecordCollector host;
  PointerCatcher pointers;
  CDecodeTELDataToHalde decoder;
  int sent = 0;
  for (const auto& step : steps) {
    std::string msg = step.msg;
    EXPECT_EQ(decoder.DecodeMsg(0.0, msg, 0), step.result) << step.msg;
    sent += step.result;
    EXPECT_EQ(decoder.m_record.m_flagA, step.flagA) << step.msg;
    EXPECT_EQ(decoder.m_record.m_flagB, step.flagB) << step.msg;
    const auto records = host.Records(kInfoTargetData);
    ASSERT_EQ(static_cast<int>(records.size()), sent);
    if (step.result == 1) {
      EXPECT_EQ(records.back()["flag_b"], step.flagB) << step.msg;
    }
  }
  // Every hand-over is the decoder's own record, never a copy.
  ASSERT_EQ(static_cast<int>(pointers.m_pointers.size()), sent);
  for (void* p : pointers.m_pointers) EXPECT_EQ(p, &decoder.m_record);
}

TEST(StallPing, KeptRecordIsWrittenBeforeTheChecksumTest) {
  for (int which : {kSw, kString}) {
    RecordCollector host;
    PointerCatcher pointers;
    auto decoder = Make(static_cast<StallDecoder>(which));
    CSnsStreamStallPing& record = which == kSw ? static_cast<CDecodeStallPingSoftWare&>(*decoder).m_record
                                               : static_cast<CDecodeStallPingString&>(*decoder).m_record;
    std::string msg = "$PVKRSTP,1,*79";
    ASSERT_EQ(decoder->DecodeMsg(0.0, msg, 0), 1);
    msg = "$PVKRSTP,2,*11";  // bad checksum: fields change, nothing sent
    ASSERT_EQ(decoder->DecodeMsg(0.0, msg, 0), 0);
    EXPECT_EQ(record.m_flagA, 0);
    EXPECT_EQ(record.m_flagB, 0);
    EXPECT_EQ(record.m_checksum, 0x11);
    EXPECT_EQ(record.m_text, "$PVKRSTP,2,*11");
    msg = "$PVKRSTX,1,*79";  // bad header: nothing touched
    ASSERT_EQ(decoder->DecodeMsg(0.0, msg, 0), 0);
    EXPECT_EQ(record.m_checksum, 0x11);
    msg = "$PVKRSTP,1,*79";
    ASSERT_EQ(decoder->DecodeMsg(0.0, msg, 0), 1);
    EXPECT_EQ(host.Records(kInfoStallPing).size(), 2u) << Name(which);
    ASSERT_EQ(pointers.m_pointers.size(), 2u);
    EXPECT_EQ(pointers.m_pointers[0], &record);
    EXPECT_EQ(pointers.m_pointers[1], &record);
  }
}

TEST(StallPing, HardwareRecordIsNeverFilled) {
  RecordCollector host;
  CDecodeStallPingHardWare hw;
  for (const char* text : {"$PVKRSTP,1,*79", "17", "19"}) {
    std::string msg = text;
    hw.DecodeMsg(0.0, msg, 0);
  }
  EXPECT_TRUE(host.All().empty());
  EXPECT_EQ(hw.m_record.m_flagA, 0);
  EXPECT_EQ(hw.m_record.m_checksum, 0);
}

// ---- Binary framing ----

namespace {

std::vector<unsigned char> Frame(std::int16_t roll, std::int16_t pitch, std::int16_t heave, std::uint16_t heading) {
  std::vector<unsigned char> bytes = {0x90, 0x90};
  for (std::uint16_t word : {static_cast<std::uint16_t>(roll), static_cast<std::uint16_t>(pitch),
                             static_cast<std::uint16_t>(heave), heading}) {
    bytes.push_back(static_cast<unsigned char>(word & 0xFF));
    bytes.push_back(static_cast<unsigned char>(word >> 8));
  }
  return bytes;
}

std::vector<unsigned char> Join(std::vector<unsigned char> a, const std::vector<unsigned char>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

struct FoundFrame {
  std::string text;
  int firstByte;  // index of the byte whose time the message carries
  bool operator==(const FoundFrame&) const = default;
};

void PrintTo(const FoundFrame& found, std::ostream* os) { *os << '"' << found.text << "\" @" << found.firstByte; }

// Feeds byte i at time 100 + i; the messages found. The message time starts at
// -1, so a message that leaves it untouched shows kUntouched.
constexpr int kUntouched = -101;

template <class Search>
std::vector<FoundFrame> FeedBytes(Search&& add, const std::vector<unsigned char>& bytes) {
  std::vector<FoundFrame> found;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    std::string msg;
    double time = -1.0;
    if (add(100.0 + static_cast<double>(i), bytes[i], msg, time)) found.push_back({msg, static_cast<int>(time - 100.0)});
  }
  return found;
}

}  // namespace

TEST(FrameSearch, FlowControlCodesTakeRoomInTheBuffer) {
  // Software decoder: XON/XOFF are messages of their own (empty text, time
  // untouched) and still count towards the 32 bytes.
  const auto frame = Frame(16, -16, 5, 9000);
  struct Case {
    const char* what;
    std::vector<unsigned char> bytes;
    std::vector<FoundFrame> found;
  };
  const Case cases[] = {
      {"XON and XOFF", {0x11, 0x13}, {{"", kUntouched}, {"", kUntouched}}},
      {"a frame after 20 bytes and an XON", Join(Join(std::vector<unsigned char>(20, 0), {0x11}), frame),
       {{"", kUntouched}, {"16,-16,5,9000", 21}}},
      {"21 bytes and an XON push the frame past 32", Join(Join(std::vector<unsigned char>(21, 0), {0x13}), frame),
       {{"", kUntouched}}},
      {"32 flow-control bytes never overrun", std::vector<unsigned char>(40, 0x11), std::vector<FoundFrame>(40, {"", kUntouched})},
  };
  for (int which : {kDts, kSw}) {
    for (const auto& c : cases) {
      auto decoder = Make(static_cast<StallDecoder>(which));
      EXPECT_EQ(FeedBytes([&](double t, unsigned char b, std::string& m, double& mt) { return decoder->DecodeByte(t, b, m, mt); },
                    c.bytes),
                c.found)
          << Name(which) << ": " << c.what;
    }
  }
}

TEST(FrameSearch, EachDecoderInBinaryMode) {
  // Through a port in Binary mode: what the decoder returns for the framed text.
  const auto frame = Frame(16, -16, 5, 9000);
  const std::vector<unsigned char> input = Join(Join({0x11}, frame), {0x13, 0x42});
  struct Case {
    StallDecoder which;
    std::vector<std::pair<std::string, int>> messages;  // text, DecodeMsg result
  };
  const Case cases[] = {
      {kHw, {{"", 0}, {"", 0}}},
      {kSw, {{"", 0}, {"16,-16,5,9000", 1}, {"", 0}}},
      {kDts, {{"", 0}, {"16,-16,5,9000", 1}, {"", 0}}},
      {kString, {{"16,-16,5,9000", 0}}},
  };
  CEComm::InitDecode();
  for (const auto& c : cases) {
    RecordCollector host;
    CPort port;
    port.m_sync = 0;
    port.m_decode = CEComm::FindDecode(Name(c.which))->m_index;
    port.SetDecode();
    std::vector<std::pair<std::string, int>> messages;
    double t = 10.0;
    for (unsigned char byte : input) {
      if (port.NewByte(t += 0.01, byte)) messages.emplace_back(port.m_lastMsg, *port.m_lastResult);
    }
    EXPECT_EQ(messages, c.messages) << Name(c.which);
    // Frames and flow-control codes never make a stream record.
    EXPECT_TRUE(host.Records(kInfoStallPing).empty()) << Name(c.which);
    EXPECT_TRUE(host.Records(kInfoTargetData).empty()) << Name(c.which);
  }
}

namespace {

std::uint8_t XorOf(const std::string& text) {
  std::uint8_t sum = 0;
  for (char c : text) sum ^= static_cast<std::uint8_t>(c);
  return sum;
}

}  // namespace

TEST(StallPing, RandomChecksumsAreSentOnlyWhenRight) {
  // Sentences with random flags and random two-digit checksums (either case):
  // a record goes out exactly when the digits match the XOR.
  std::mt19937 random(TestSeed());
  RecordCollector host;
  CDecodeStallPingString stallPing;
  CDecodeTELDataToHalde target;
  int expectedStallPings = 0, expectedTargets = 0;
  for (int i = 0; i < 2000; ++i) {
    const bool right = random() % 4 == 0;
    const bool upper = random() % 2 == 0;
    const bool isTarget = random() % 2 == 0;
    char body[64];
    if (isTarget) {
      std::snprintf(body, sizeof body, "PVKRDTS,%d.%d,%d,%d,%d,", static_cast<int>(random() % 200) - 100,
                    static_cast<int>(random() % 10), static_cast<int>(random() % 50), static_cast<int>(random() % 50),
                    static_cast<int>(random() % 3));
    } else {
      std::snprintf(body, sizeof body, "PVKRSTP,%d,", static_cast<int>(random() % 4));
    }
    const std::uint8_t sum = right ? XorOf(body) : static_cast<std::uint8_t>(random() & 0xFF);
    char field[8];
    std::snprintf(field, sizeof field, upper ? "*%02X" : "*%02x", sum);
    std::string msg = std::string("$") + body + field;
    const bool accepted = sum == XorOf(body);
    const int result = isTarget ? target.DecodeMsg(0.0, msg, 0) : stallPing.DecodeMsg(0.0, msg, 0);
    EXPECT_EQ(result, accepted ? 1 : 0) << msg << " (seed " << TestSeed() << ")";
    (isTarget ? expectedTargets : expectedStallPings) += accepted;
  }
  EXPECT_EQ(static_cast<int>(host.Records(kInfoStallPing).size()), expectedStallPings);
  EXPECT_EQ(static_cast<int>(host.Records(kInfoTargetData).size()), expectedTargets);
  EXPECT_GT(expectedStallPings, 100);
  EXPECT_GT(expectedTargets, 100);
}
