// Helpers for decoder tests: one message through a fresh decoder with a host
// listening, and an owner window that keeps the bytes its ports send.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "comms/ecomm.h"
#include "host/tx_msg.h"
#include "support/capture.h"

template <class Decoder>
struct DecodedOnce {
  int result = 0;
  std::string msg;  // the message text as the decoder left it
  std::vector<ReceivedMsg> received;
};

// Decodes one message at time 500 with bank 3.
template <class Decoder>
DecodedOnce<Decoder> DecodeOnce(const std::string& text) {
  RecordCollector host;
  Decoder decoder;
  DecodedOnce<Decoder> out;
  out.msg = text;
  out.result = decoder.DecodeMsg(500.0, out.msg, 3);
  out.received = host.All();
  return out;
}

// One message and the single-valued record it should give (none: nullopt).
struct ValueCase {
  std::string msg;
  int result;
  std::optional<double> value;
};

// Runs each case through a fresh decoder; a record must carry the value in
// 'field' (as single precision), the message time and the bank.
template <class Decoder>
void ExpectValueCases(const std::vector<ValueCase>& cases, int kind, const char* field) {
  for (const auto& c : cases) {
    const auto decoded = DecodeOnce<Decoder>(c.msg);
    EXPECT_EQ(decoded.result, c.result) << c.msg;
    if (!c.value) {
      EXPECT_TRUE(decoded.received.empty()) << c.msg;
      continue;
    }
    ASSERT_EQ(decoded.received.size(), 1u) << c.msg;
    const ReceivedMsg& record = decoded.received[0];
    EXPECT_EQ(record.kind, kind) << c.msg;
    EXPECT_EQ(record.record[field].get<float>(), static_cast<float>(*c.value)) << c.msg;
    EXPECT_EQ(record.record["time"], 500.0) << c.msg;
    EXPECT_EQ(record.record["bank"], 3) << c.msg;
  }
}

// A comm window that records every binary send of its ports.
class SentBytes : public CEComm {
 public:
  struct Sent {
    std::vector<unsigned char> bytes;
    std::chrono::steady_clock::time_point at;
  };

  void SendData(unsigned, TX_MSG* msg) override {
    Sent sent{{}, std::chrono::steady_clock::now()};
    if (msg && msg->m_pData && msg->m_nLength > 0) sent.bytes.assign(msg->m_pData, msg->m_pData + msg->m_nLength);
    m_sent.push_back(std::move(sent));
  }

  std::vector<Sent> m_sent;
};
