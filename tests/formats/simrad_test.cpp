// EM1000/EM3000 attitude: the binary frame search and the text it produces.
#include <gtest/gtest.h>

#include <vector>

#include "formats/attitude_frame.h"
#include "formats/decode_case.h"
#include "formats/simrad.h"

using decode_case::Row;
using decode_case::RunRows;

namespace {

using ByteList = std::vector<unsigned char>;

const ByteList kFrame = {0x90, 0x90, 0x10, 0x00, 0xF0, 0xFF, 0x05, 0x00, 0x28, 0x23};

ByteList Join(std::initializer_list<ByteList> parts) {
  ByteList out;
  for (const auto& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

struct FoundAttitude {
  std::string text;
  int firstByte;  // index of the byte whose time the frame carries
  bool operator==(const FoundAttitude&) const = default;
};

std::ostream& operator<<(std::ostream& out, const FoundAttitude& f) { return out << f.text << " @" << f.firstByte; }

// Byte i arrives at time i; the frames found, with the index of their first byte.
std::vector<FoundAttitude> Search(const ByteList& bytes, AttitudeFrameSearch& search) {
  std::vector<FoundAttitude> found;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    std::string msg = "untouched";
    double msgTime = -1.0;
    if (search.NewByte(static_cast<double>(i), bytes[i], msg, msgTime)) {
      found.push_back({msg, static_cast<int>(msgTime)});
    } else {
      EXPECT_EQ(msg, "untouched");
      EXPECT_EQ(msgTime, -1.0);
    }
  }
  return found;
}

}  // namespace

TEST(AttitudeFrameSearch, FindsFramesWithinItsWindow) {
  struct Case {
    const char* what;
    ByteList bytes;
    std::vector<FoundAttitude> found;
    int countAfter;
  };
  const Case cases[] = {
      {"one frame", kFrame, {{"16,-16,5,9000", 0}}, 0},
      {"after a stray byte", Join({{0x00}, kFrame}), {{"16,-16,5,9000", 1}}, 0},
      {"two in a row", Join({kFrame, kFrame}), {{"16,-16,5,9000", 0}, {"16,-16,5,9000", 10}}, 0},
      {"extremes", {0x90, 0x90, 0x00, 0x80, 0xFF, 0x7F, 0xFF, 0xFF, 0xFF, 0xFF}, {{"-32768,32767,-1,65535", 0}}, 0},
      {"first byte 0x91", Join({{0x91}, ByteList(kFrame.begin() + 1, kFrame.end())}), {}, 10},
      {"second byte 0x91", {0x90, 0x91, 0x10, 0x00, 0xF0, 0xFF, 0x05, 0x00, 0x28, 0x23}, {}, 10},
      {"nine bytes", ByteList(kFrame.begin(), kFrame.end() - 1), {}, 9},
      // Any 0x90 pair ten bytes back is a frame, even one that started early.
      {"a third 0x90", Join({{0x90}, kFrame}), {{"4240,-4096,1535,10240", 0}}, 1},
      {"completes as byte 31", Join({ByteList(21, 0x00), kFrame}), {{"16,-16,5,9000", 21}}, 0},
      // The window is emptied when byte 32 arrives, so this frame is lost...
      {"would complete as byte 32", Join({ByteList(22, 0x00), kFrame}), {}, 0},
      // ...and the next one is found in the new window.
      {"found again after the reset", Join({ByteList(22, 0x00), kFrame, kFrame}), {{"16,-16,5,9000", 32}}, 0},
      {"32 bytes of noise", ByteList(32, 0x90), {{"-28528,-28528,-28528,37008", 0}, {"-28528,-28528,-28528,37008", 10},
                                                {"-28528,-28528,-28528,37008", 20}}, 2},
      {"31 bytes of nothing", ByteList(31, 0x00), {}, 31},
      {"32 bytes of nothing", ByteList(32, 0x00), {}, 0},
  };
  for (const auto& c : cases) {
    AttitudeFrameSearch search;
    EXPECT_EQ(Search(c.bytes, search), c.found) << c.what;
    EXPECT_EQ(search.Count(), c.countAfter) << c.what;
  }
}

TEST(AttitudeFrameSearch, StoreAndSearchCanBeCalledApart) {
  // A caller may store a byte and answer it itself, without searching.
  AttitudeFrameSearch search;
  std::string msg;
  double msgTime = 0.0;
  for (int i = 0; i < 9; ++i) search.Store(i, kFrame[static_cast<std::size_t>(i)]);
  EXPECT_EQ(search.Search(msg, msgTime), 0);
  search.Store(9, kFrame[9]);
  EXPECT_EQ(search.Search(msg, msgTime), 1);
  EXPECT_EQ(msg, "16,-16,5,9000");
  EXPECT_EQ(msgTime, 0.0);
  EXPECT_EQ(search.Count(), 0);
  for (int i = 0; i < 40; ++i) search.Store(i, 0x11);  // never holds more than the window
  EXPECT_EQ(search.Count(), 8);
  search.Reset();
  EXPECT_EQ(search.Count(), 0);
}

TEST(S3000, DecodesTheAttitudeText) {
  RunRows<CSD_S3000>({
      {"16,-16,5,9000", 1,
       {R"({"kind":2,"class":"CSnsrGyro","heading":90})",
        R"({"kind":3,"class":"CSnsrMru","roll":0.16,"pitch":-0.16,"heave":0.05})"}},
      {"-100,200,-300,36000", 1, {R"({"heading":360})", R"({"roll":-1,"pitch":2,"heave":-3})"}},
      {"-32768,32767,-1,65535", 1, {R"({"heading":655.35})", R"({"roll":-327.68,"pitch":327.67,"heave":-0.01})"}},
      {"16,-16,5", 0, {}},
      {"16,-16,5,", 0, {}},
      {"16;-16;5;9000", 0, {}},
      {"a,b,c,d", 0, {}},
      {"", 0, {}},
  });
}

TEST(S3000, BinaryPortDecodesFramesAtTheTimeOfTheirFirstByte) {
  CEComm::InitDecode();
  RecordCollector host;
  CPort port;
  port.m_sync = 0;
  port.m_bank = 4;
  port.m_decode = CEComm::FindDecode("Simrad EM3000")->m_index;
  port.SetDecode();
  EXPECT_EQ(port.m_pDecode->m_description, "kp, ks, bp, bs, sp, ss");
  const ByteList stream = Join({{0x13, 0x90, 0x00}, kFrame, {0x55}, kFrame});
  int messages = 0;
  for (std::size_t i = 0; i < stream.size(); ++i) messages += port.NewByte(100.0 + 0.01 * i, stream[i]);
  EXPECT_EQ(messages, 2);
  EXPECT_EQ(port.m_status, 2);
  const auto all = host.All();
  ASSERT_EQ(all.size(), 6u);
  EXPECT_EQ(all[0].record["text"], "16,-16,5,9000");
  EXPECT_DOUBLE_EQ(all[0].record["time"].get<double>(), 100.03);
  EXPECT_DOUBLE_EQ(all[1].record["time"].get<double>(), 100.03);
  EXPECT_EQ(all[1].record["bank"], 4);
  EXPECT_EQ(all[2].record["class"], "CSnsrMru");
  EXPECT_DOUBLE_EQ(all[3].record["time"].get<double>(), 100.14);
}
