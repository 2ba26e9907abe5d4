// The typed GGA and ZDA readers against sscanf on the same text: every field
// (bit for bit) and the return value must agree. Inputs are taken as they
// come and also spliced into a valid sentence, so mutations reach every field.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "support/nmea_scan_reference.h"

namespace {

template <class T>
bool SameBits(const T& a, const T& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

bool SameGga(const GgaFields& a, const GgaFields& b) {
  return SameBits(a.utc, b.utc) && SameBits(a.latitude, b.latitude) && a.latitudeLetter == b.latitudeLetter &&
         SameBits(a.longitude, b.longitude) && a.longitudeLetter == b.longitudeLetter && a.quality == b.quality &&
         a.satellites == b.satellites && SameBits(a.hdop, b.hdop) && SameBits(a.altitude, b.altitude) &&
         SameBits(a.geoidSeparation, b.geoidSeparation);
}

bool SameZda(const ZdaFields& a, const ZdaFields& b) {
  return a.hour == b.hour && a.minute == b.minute && SameBits(a.seconds, b.seconds) && a.day == b.day &&
         a.month == b.month && a.year == b.year && a.zoneHours == b.zoneHours && a.zoneMinutes == b.zoneMinutes;
}

void Check(const std::string& text) {
  for (bool anyTalker : {false, true}) {
    GgaFields ours, theirs;
    const int n = ScanGga(text.c_str(), anyTalker, ours);
    const int m = ReferenceScanGga(text.c_str(), anyTalker, theirs);
    if (n != m || !SameGga(ours, theirs)) {
      std::fprintf(stderr, "GGA differs on [%s]: %d vs sscanf %d\n", text.c_str(), n, m);
      std::abort();
    }
  }
  ZdaFields ours, theirs;
  const int n = ScanZda(text.c_str(), ours);
  const int m = ReferenceScanZda(text.c_str(), theirs);
  if (n != m || !SameZda(ours, theirs)) {
    std::fprintf(stderr, "ZDA differs on [%s]: %d vs sscanf %d\n", text.c_str(), n, m);
    std::abort();
  }
}

constexpr const char* kSentences[] = {
    "$GPGGA,123519.00,4807.0380,N,01131.0000,E,1,08,0.9,545.4,M,46.9,M,,*69",
    "$GPZDA,201530.00,04,07,2002,00,00*60",
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  Check(input);
  // The input replaces a span of a valid sentence chosen by its first bytes.
  if (size >= 2) {
    for (const char* sentence : kSentences) {
      std::string text = sentence;
      const std::size_t at = data[0] % text.size();
      const std::size_t length = std::min<std::size_t>(data[1] % 8, text.size() - at);
      text.replace(at, length, input.substr(2));
      Check(text);
    }
  }
  return 0;
}
