// Random records of every class written both ways, straight to a JSON line and
// through a JSON document: the bytes must be the same. Also raw texts and
// doubles on their own.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "host/json_line.h"
#include "host/records.h"

namespace {

std::string Dump(const nlohmann::ordered_json& value) {
  return value.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

// Any bit pattern, or now and then a typical value.
double AnyDouble(FuzzedDataProvider& in) {
  const auto bits = in.ConsumeIntegral<std::uint64_t>();
  double value;
  std::memcpy(&value, &bits, sizeof value);
  if (bits % 5 == 0) return static_cast<double>(static_cast<std::int32_t>(bits >> 32)) / 1000.0;
  return value;
}

float AnyFloat(FuzzedDataProvider& in) {
  const auto bits = in.ConsumeIntegral<std::uint32_t>();
  float value;
  std::memcpy(&value, &bits, sizeof value);
  if (bits % 5 == 0) return static_cast<float>(static_cast<std::int16_t>(bits >> 16)) / 100.0f;
  return value;
}

std::string AnyText(FuzzedDataProvider& in) { return in.ConsumeRandomLengthString(64); }

CV3 AnyVector(FuzzedDataProvider& in) { return {AnyDouble(in), AnyDouble(in), AnyDouble(in)}; }

std::unique_ptr<CSnsr> AnyRecord(FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange(0, 13)) {
    case 0: { auto r = std::make_unique<CSnsrInf>(); r->m_type = in.ConsumeIntegral<std::uint8_t>(); r->m_text = AnyText(in); return r; }
    case 1: {
      auto r = std::make_unique<CSnsrPos>();
      r->m_quality = in.ConsumeIntegral<std::uint16_t>();
      r->m_pos = AnyVector(in);
      r->m_hdop = AnyFloat(in);
      r->m_sats = in.ConsumeIntegral<std::uint16_t>();
      r->m_pos2 = AnyVector(in);
      return r;
    }
    case 2: {
      auto r = std::make_unique<CSnsrGyro>();
      r->m_heading = AnyFloat(in);
      r->m_status = in.ConsumeIntegral<std::uint16_t>();
      r->m_statusText = AnyText(in);
      return r;
    }
    case 3: {
      auto r = std::make_unique<CSnsrMru>();
      for (float* f : {&r->m_pitch, &r->m_roll, &r->m_heave, &r->m_sway, &r->m_surge}) *f = AnyFloat(in);
      r->m_status = in.ConsumeIntegral<std::uint16_t>();
      r->m_statusText = AnyText(in);
      return r;
    }
    case 4: { auto r = std::make_unique<CSnsrZ>(); r->m_depth = AnyFloat(in); return r; }
    case 5: { auto r = std::make_unique<CSnsrSOS>(); r->m_sos = AnyFloat(in); return r; }
    case 6: {
      auto r = std::make_unique<CSnsrTime>();
      // Times the calendar can hold, and now and then any double.
      const auto seconds = in.ConsumeIntegralInRange<std::int64_t>(-1'000'000'000, 40'000'000'000);
      r->m_gpsTime.SetValue(in.ConsumeBool() ? AnyDouble(in) : static_cast<double>(seconds) / 1000.0);
      r->m_zoneHours = in.ConsumeIntegral<std::uint8_t>();
      r->m_zoneMinutes = in.ConsumeIntegral<std::uint8_t>();
      return r;
    }
    case 7: { auto r = std::make_unique<CSnsrAlt>(); r->m_depth = AnyFloat(in); return r; }
    case 8: {
      auto r = std::make_unique<CSnsrVTG>();
      for (float* f : {&r->m_trueHeading, &r->m_magHeading, &r->m_knots, &r->m_kmh}) *f = AnyFloat(in);
      return r;
    }
    case 9: { auto r = std::make_unique<CSnsrMarker>(); r->m_marker = AnyFloat(in); return r; }
    case 10: { auto r = std::make_unique<CSnsrTmp>(); r->m_temperature = AnyFloat(in); return r; }
    case 11: {
      auto r = std::make_unique<CSnsrPressure>();
      r->m_pressure = AnyFloat(in);
      r->m_pressureUnit = AnyText(in);
      r->m_temperature = AnyFloat(in);
      r->m_temperatureUnit = AnyText(in);
      return r;
    }
    case 12: {
      auto r = std::make_unique<CSnsStreamSCADA>();
      r->m_x = AnyDouble(in);
      r->m_y = AnyDouble(in);
      r->m_z = AnyDouble(in);
      r->m_flagA = in.ConsumeIntegral<std::uint8_t>();
      r->m_flagB = in.ConsumeIntegral<std::uint8_t>();
      r->m_checksum = in.ConsumeIntegral<std::uint8_t>();
      r->m_text = AnyText(in);
      return r;
    }
    default: {
      auto r = std::make_unique<CSnsStreamStallPing>();
      r->m_flagA = in.ConsumeIntegral<std::uint8_t>();
      r->m_flagB = in.ConsumeIntegral<std::uint8_t>();
      r->m_checksum = in.ConsumeIntegral<std::uint8_t>();
      r->m_text = AnyText(in);
      return r;
    }
  }
}

void Same(const std::string& straight, const std::string& dumped) {
  if (straight == dumped) return;
  std::fprintf(stderr, "straight: %s\ndumped:   %s\n", straight.c_str(), dumped.c_str());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  std::string line;
  while (in.remaining_bytes() > 0) {
    const int kind = in.ConsumeIntegral<int>();
    const double time = AnyDouble(in);
    const int bank = in.ConsumeIntegral<int>();
    const auto record = AnyRecord(in);
    record->Stamp(time, bank);
    line.clear();
    AppendRecordJsonLine(line, kind, *record);
    Same(line, Dump(RecordJson(kind, *record)));

    const std::string text = AnyText(in);
    line.clear();
    AppendJsonText(line, text);
    Same(line, Dump(nlohmann::ordered_json(text)));
  }
  return 0;
}
