// The target-data encoders: their names, and EncodeB taking one queued line.
#include <gtest/gtest.h>

#include <list>
#include <memory>

#include "comms/ecomm.h"
#include "formats/target_encoders.h"
#include "port/port.h"

namespace {

std::vector<std::unique_ptr<CEncode>> BothEncoders() {
  std::vector<std::unique_ptr<CEncode>> encoders;
  encoders.push_back(std::make_unique<CEncodeTargetDataFromHalde>());
  encoders.push_back(std::make_unique<CEncodeTargetData1>());
  return encoders;
}

}  // namespace

TEST(TargetEncoders, EncodeBTakesTheFirstLineOffTheQueue) {
  struct Case {
    const char* what;
    std::list<std::string> queue;
    std::string out;                 // after the call
    std::list<std::string> left;     // queue after the call
  };
  const Case cases[] = {
      {"one line", {"TGT,1,2,3\r\n"}, "TGT,1,2,3\r\n", {}},
      {"first of several", {"A\n", "B\n"}, "A\n", {"B\n"}},
      {"only up to the first line feed", {"A\nB\n"}, "A\n", {}},
      {"a text without a line feed goes whole", {"no end"}, "no end", {}},
      {"an empty text", {"", "B\n"}, "", {"B\n"}},
      {"an empty queue writes nothing", {}, "untouched", {}},
  };
  for (auto& encoder : BothEncoders()) {
    for (const auto& c : cases) {
      std::list<std::string> queue = c.queue;
      std::string out = "untouched";
      EXPECT_EQ(encoder->EncodeB(7, 8, out, &queue, 9), 0) << encoder->m_name << ": " << c.what;
      EXPECT_EQ(out, c.out) << encoder->m_name << ": " << c.what;
      EXPECT_EQ(queue, c.left) << encoder->m_name << ": " << c.what;
    }
    std::string out = "untouched";
    EXPECT_EQ(encoder->EncodeB(0, 0, out, nullptr, 0), 0);
    EXPECT_EQ(out, "untouched");
    // The other two operations keep the base's behaviour.
    std::list<std::string> queue = {"A\n"};
    EXPECT_EQ(encoder->EncodeA(0, 0, out, &queue, 0), 0);
    EXPECT_EQ(encoder->EncodeC(0, 0, out, &queue, 0), 0);
    EXPECT_EQ(queue.size(), 1u);
  }
}

TEST(TargetEncoders, ChosenByRegistryNameOnAPort) {
  CEComm owner;
  const std::pair<const char*, const char*> choices[] = {{"PVKRTAR", "VKRTAR"}, {"PVKRTR1", "VKRTR1"}};
  for (const auto& [registryName, ownName] : choices) {
    const CEncodeType* entry = CEComm::FindEncode(registryName);
    ASSERT_NE(entry, nullptr) << registryName;
    CPort port;
    port.m_pOwner = &owner;
    port.m_encode = entry->m_index;
    port.SetEncode();
    ASSERT_TRUE(port.m_pEncode);
    EXPECT_EQ(port.m_pEncode->m_name, ownName);
    EXPECT_EQ(port.m_pEncode->m_typeIndex, entry->m_index);
    // A plain encoder shows green on every hand-over.
    port.UpdateUIAgeLEDHz(10.0);
    EXPECT_EQ(port.m_status, 2);
  }
}
