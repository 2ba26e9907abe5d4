// Every registered decoder, in ASCII and Binary framing, against hostile bytes:
// nothing may crash, and whatever reaches the host must be a well-formed record.
#include <gtest/gtest.h>

#include <random>

#include "comms/ecomm.h"
#include "port/port.h"
#include "support/capture.h"
#include "support/test_seed.h"

namespace {

std::vector<std::string> HostileInputs() {
  std::mt19937 random(TestSeed());
  std::vector<std::string> inputs = {
      std::string(3000, 'A') + "\n",
      std::string(64, '\0') + "\n",
      "\xFF\xFE\x80\x90\x90\x90\x90\x11\x13\r\n",
      "$GPGGA,nan,inf,N,-1e999,W,99999999999,-5,nan,1e308,M,1e308,M\r\n",
      "$GPZDA,999999.99,99,99,99999,99,99\r\n$GPZDA,nan,1,1,1\r\n",
      ",,,,,,,,,,,,,,,,,,,,,,,,*\r\n**$$**\n$\n*\n",
  };
  const char alphabet[] = "$GPZDAHTRSWNE0123456789.,-+*\r\n PVKRSTP";
  for (int n = 0; n < 40; ++n) {
    std::string text;
    const int length = static_cast<int>(random() % 400);
    for (int i = 0; i < length; ++i) {
      text += random() % 4 ? alphabet[random() % (sizeof alphabet - 1)] : static_cast<char>(random() & 0xFF);
    }
    inputs.push_back(text);
  }
  return inputs;
}

}  // namespace

TEST(Robustness, NoDecoderCrashesOnHostileBytes) {
  ScopedReports reports;  // keep the report flood off the console
  ScopedClock clock(710280930.0);
  RecordCollector host;
  CEComm owner;
  const auto inputs = HostileInputs();
  for (const auto& entry : CEComm::s_decodes) {
    for (int sync : {1, 0}) {
      for (int rxSize : {1000, 7, 1}) {
        CPort port;
        port.m_pOwner = &owner;
        port.m_sync = sync;
        port.CfgBufSize(0, rxSize);
        port.m_decode = entry->m_index;
        port.SetDecode();
        double t = 1.0;
        for (const auto& input : inputs) {
          for (char byte : input) port.NewByte(t += 0.001, static_cast<unsigned char>(byte));
          port.m_pDecode->OnTrigger(t, 0.05);
          port.SetDataAge(t);
        }
        EXPECT_TRUE(port.m_status >= 0 && port.m_status <= 3) << entry->m_name << ": light " << port.m_status;
      }
    }
  }
  for (const auto& msg : host.All()) {
    EXPECT_TRUE(msg.record.is_null() || msg.record.contains("class")) << msg.record.dump();
  }
}
