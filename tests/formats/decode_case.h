// Table helpers for the decoder tests: one message in, the status and the
// records that reached the host out, and messages fed through a real port.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "comms/ecomm.h"
#include "port/codec.h"
#include "port/port.h"
#include "support/capture.h"
#include "support/json_subset.h"

namespace decode_case {

inline constexpr double kTime = 500.25;
inline constexpr int kBank = 3;

// A message and what the decoder must make of it. Each expected record is the
// JSON of the fields that matter; "time" and "bank" are checked as well (the
// bank against kBank unless the row names one).
struct Row {
  std::string msg;
  int result;
  std::vector<std::string> records;
};

struct Decoded {
  int result = 0;
  std::vector<nlohmann::json> records;  // every record sent, in order
  std::string msg;                      // the message as the decoder left it
};

inline Decoded DecodeOne(CDecode& decoder, const std::string& text, double time = kTime, int bank = kBank) {
  RecordCollector host;
  Decoded out;
  out.msg = text;
  out.result = decoder.DecodeMsg(time, out.msg, bank);
  for (const auto& received : host.All()) out.records.push_back(received.record);
  return out;
}

inline void ExpectRecords(const std::vector<nlohmann::json>& actual, const std::vector<std::string>& expected,
                          const std::string& context, double time = kTime) {
  ASSERT_EQ(actual.size(), expected.size()) << context;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const auto want = nlohmann::json::parse(expected[i]);
    const auto& got = actual[i];
    ExpectJsonSubset(got, want, context + " record " + std::to_string(i));
    ASSERT_TRUE(got.contains("time") && got.contains("bank")) << context << " record " << i << ": " << got.dump();
    EXPECT_EQ(got.at("time"), time) << context;
    if (!want.contains("bank")) {
      EXPECT_EQ(got.at("bank"), kBank) << context;
    }
  }
}

// Runs each row through a fresh decoder of the given class.
template <class Decoder>
void RunRows(const std::vector<Row>& rows) {
  for (const auto& row : rows) {
    Decoder decoder;
    const Decoded out = DecodeOne(decoder, row.msg);
    EXPECT_EQ(out.result, row.result) << '"' << row.msg << '"';
    ExpectRecords(out.records, row.records, '"' + row.msg + '"');
  }
}

// Feeds the messages, each ended by CR LF, through a port using the registered
// decoder of that name; the port's light after each message.
inline std::vector<int> LightsThroughPort(const std::string& decoderName, const std::vector<std::string>& messages) {
  CEComm::InitDecode();
  const CDecodeType* type = CEComm::FindDecode(decoderName);
  if (!type) {
    ADD_FAILURE() << "no decoder " << decoderName;
    return {};
  }
  RecordCollector host;  // keeps the records off the other receivers
  CPort port;
  port.m_decode = type->m_index;
  port.SetDecode();
  std::vector<int> lights;
  double t = 10.0;
  for (const auto& message : messages) {
    for (const char byte : message + "\r\n") port.NewByte(t += 0.001, static_cast<unsigned char>(byte));
    lights.push_back(port.m_status);
  }
  return lights;
}

}  // namespace decode_case
