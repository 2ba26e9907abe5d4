// A gpsd client's bytes, in reads of varying size (the first byte sets it):
// every reply must be one JSON object with a class on one line.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include <nlohmann/json.hpp>

#include "host/records.h"
#include "net/gpsd_protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  static GpsdFeed* feed = [] {
    auto* made = new GpsdFeed;
    made->AddDevice({"/dev/gps0", "GPGGA", 4800}, 1000.0);
    std::vector<GpsdReport> out;
    CSnsrInf raw;
    raw.m_text = "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r";
    made->OnRecord("/dev/gps0", kSnsrInf, raw, out);
    CSnsrPos pos;
    pos.m_quality = 1;
    made->OnRecord("/dev/gps0", kSnsrPos, pos, out);
    return made;
  }();
  const std::size_t step = data[0] % 32 + 1;
  const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
  GpsdSession session(*feed);
  for (std::size_t at = 0; at < input.size(); at += step) {
    for (const std::string& reply : session.Receive(input.substr(at, step), 1000.0)) {
      if (reply.size() < 3 || reply.compare(reply.size() - 2, 2, "\r\n") != 0 ||
          reply.find('\n') != reply.size() - 1) {
        std::abort();
      }
      const auto json = nlohmann::json::parse(reply, nullptr, false);
      if (json.is_discarded() || !json.contains("class")) std::abort();
    }
  }
  return 0;
}
