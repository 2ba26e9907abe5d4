#include "host/records.h"

#include <charconv>
#include <cmath>
#include <string>

#include <nlohmann/json.hpp>

#include "host/json_line.h"

NYX_IMPLEMENT_DYNAMIC(CSnsr, CObject)
NYX_IMPLEMENT_DYNCREATE(CSnsrInf, CSnsr)
NYX_IMPLEMENT_DYNCREATE(CSnsrPos, CSnsr)
NYX_IMPLEMENT_DYNCREATE(CSnsrGyro, CSnsr)
NYX_IMPLEMENT_DYNCREATE(CSnsrMru, CSnsr)
NYX_IMPLEMENT_DYNCREATE(CSnsrZ, CSnsr)
NYX_IMPLEMENT_DYNCREATE(CSnsrSOS, CSnsr)
NYX_IMPLEMENT_DYNCREATE(CSnsrTime, CSnsr)
NYX_IMPLEMENT_DYNCREATE(CSnsrAlt, CSnsr)
NYX_IMPLEMENT_DYNCREATE(CSnsrVTG, CSnsr)
NYX_IMPLEMENT_DYNCREATE(CSnsrMarker, CSnsr)
NYX_IMPLEMENT_DYNCREATE(CSnsrTmp, CSnsr)
NYX_IMPLEMENT_DYNCREATE(CSnsrPressure, CSnsr)
NYX_IMPLEMENT_DYNCREATE(CSnsStreamSCADA, CSnsrInf)
NYX_IMPLEMENT_DYNCREATE(CSnsStreamStallPing, CSnsrInf)

using Json = nlohmann::ordered_json;

namespace {

// A float is written as the shortest decimal that reads back as the same float
// (0.9f as 0.9, not 0.8999999761581421); not finite becomes null.
Json FloatValue(float value) {
  if (!std::isfinite(value)) return nullptr;
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  double shortest = 0.0;
  std::from_chars(buffer, result.ptr, shortest);
  return shortest;
}

Json DoubleValue(double value) {
  if (!std::isfinite(value)) return nullptr;
  return value;
}

Json Vector(const CV3& v) { return Json::array({DoubleValue(v.x), DoubleValue(v.y), DoubleValue(v.z)}); }

}  // namespace

void CSnsr::WriteFields(Json&) const {}

void CSnsrInf::WriteFields(Json& out) const {
  out["type"] = m_type;
  out["text"] = m_text;
}

void CSnsrPos::WriteFields(Json& out) const {
  out["quality"] = m_quality;
  out["pos"] = Vector(m_pos);
  out["hdop"] = FloatValue(m_hdop);
  out["sats"] = m_sats;
  out["pos2"] = Vector(m_pos2);
}

void CSnsrGyro::WriteFields(Json& out) const {
  out["heading"] = FloatValue(m_heading);
  out["status"] = m_status;
  out["status_text"] = m_statusText;
}

void CSnsrMru::WriteFields(Json& out) const {
  out["pitch"] = FloatValue(m_pitch);
  out["roll"] = FloatValue(m_roll);
  out["heave"] = FloatValue(m_heave);
  out["sway"] = FloatValue(m_sway);
  out["surge"] = FloatValue(m_surge);
  out["status"] = m_status;
  out["status_text"] = m_statusText;
}

void CSnsrZ::WriteFields(Json& out) const { out["depth"] = FloatValue(m_depth); }

void CSnsrSOS::WriteFields(Json& out) const { out["sos"] = FloatValue(m_sos); }

void CSnsrTime::WriteFields(Json& out) const {
  out["gps_time"] = DoubleValue(m_gpsTime.GetValue());
  out["utc"] = m_gpsTime.FormatIso8601();
  out["zone_hours"] = m_zoneHours;
  out["zone_minutes"] = m_zoneMinutes;
}

void CSnsrAlt::WriteFields(Json& out) const { out["depth"] = FloatValue(m_depth); }

void CSnsrVTG::WriteFields(Json& out) const {
  out["true_heading"] = FloatValue(m_trueHeading);
  out["mag_heading"] = FloatValue(m_magHeading);
  out["knots"] = FloatValue(m_knots);
  out["kmh"] = FloatValue(m_kmh);
}

void CSnsrMarker::WriteFields(Json& out) const { out["marker"] = FloatValue(m_marker); }

void CSnsrTmp::WriteFields(Json& out) const { out["temperature"] = FloatValue(m_temperature); }

void CSnsrPressure::WriteFields(Json& out) const {
  out["pressure"] = FloatValue(m_pressure);
  out["pressure_unit"] = m_pressureUnit;
  out["temperature"] = FloatValue(m_temperature);
  out["temperature_unit"] = m_temperatureUnit;
}

void CSnsStreamSCADA::WriteFields(Json& out) const {
  out["x"] = DoubleValue(m_x);
  out["y"] = DoubleValue(m_y);
  out["z"] = DoubleValue(m_z);
  out["flag_a"] = m_flagA;
  out["flag_b"] = m_flagB;
  out["checksum"] = m_checksum;
  out["text"] = m_text;
}

void CSnsr::WriteFields(JsonLine&) const {}

void CSnsrInf::WriteFields(JsonLine& out) const {
  out.Int("type", m_type);
  out.Text("text", m_text);
}

void CSnsrPos::WriteFields(JsonLine& out) const {
  out.Int("quality", m_quality);
  out.Vector("pos", m_pos.x, m_pos.y, m_pos.z);
  out.Float("hdop", m_hdop);
  out.Int("sats", m_sats);
  out.Vector("pos2", m_pos2.x, m_pos2.y, m_pos2.z);
}

void CSnsrGyro::WriteFields(JsonLine& out) const {
  out.Float("heading", m_heading);
  out.Int("status", m_status);
  out.Text("status_text", m_statusText);
}

void CSnsrMru::WriteFields(JsonLine& out) const {
  out.Float("pitch", m_pitch);
  out.Float("roll", m_roll);
  out.Float("heave", m_heave);
  out.Float("sway", m_sway);
  out.Float("surge", m_surge);
  out.Int("status", m_status);
  out.Text("status_text", m_statusText);
}

void CSnsrZ::WriteFields(JsonLine& out) const { out.Float("depth", m_depth); }

void CSnsrSOS::WriteFields(JsonLine& out) const { out.Float("sos", m_sos); }

void CSnsrTime::WriteFields(JsonLine& out) const {
  out.Double("gps_time", m_gpsTime.GetValue());
  char utc[CTm80::kIso8601Size];
  out.Text("utc", m_gpsTime.FormatIso8601(utc));
  out.Int("zone_hours", m_zoneHours);
  out.Int("zone_minutes", m_zoneMinutes);
}

void CSnsrAlt::WriteFields(JsonLine& out) const { out.Float("depth", m_depth); }

void CSnsrVTG::WriteFields(JsonLine& out) const {
  out.Float("true_heading", m_trueHeading);
  out.Float("mag_heading", m_magHeading);
  out.Float("knots", m_knots);
  out.Float("kmh", m_kmh);
}

void CSnsrMarker::WriteFields(JsonLine& out) const { out.Float("marker", m_marker); }

void CSnsrTmp::WriteFields(JsonLine& out) const { out.Float("temperature", m_temperature); }

void CSnsrPressure::WriteFields(JsonLine& out) const {
  out.Float("pressure", m_pressure);
  out.Text("pressure_unit", m_pressureUnit);
  out.Float("temperature", m_temperature);
  out.Text("temperature_unit", m_temperatureUnit);
}

void CSnsStreamSCADA::WriteFields(JsonLine& out) const {
  out.Double("x", m_x);
  out.Double("y", m_y);
  out.Double("z", m_z);
  out.Int("flag_a", m_flagA);
  out.Int("flag_b", m_flagB);
  out.Int("checksum", m_checksum);
  out.Text("text", m_text);
}

void CSnsStreamStallPing::WriteFields(JsonLine& out) const {
  out.Int("flag_a", m_flagA);
  out.Int("flag_b", m_flagB);
  out.Int("checksum", m_checksum);
  out.Text("text", m_text);
}

void CSnsStreamSCADA::Serialize(CArchive& ar) {
  std::int32_t flags = m_flagA | (m_flagB << 8) | (m_checksum << 16);
  if (ar.IsStoring()) {
    ar << m_x << m_y << m_z << flags;
  } else {
    ar >> m_x >> m_y >> m_z >> flags;
    m_flagA = static_cast<std::uint8_t>(flags);
    m_flagB = static_cast<std::uint8_t>(flags >> 8);
    m_checksum = static_cast<std::uint8_t>(flags >> 16);
  }
}

std::string CSnsStreamSCADA::GetString(int index) const {
  switch (index) {
    case 0: return std::to_string(m_x);
    case 1: return std::to_string(m_y);
    case 2: return std::to_string(m_z);
    case 3: return std::to_string(m_flagA);
    case 4: return std::to_string(m_flagB);
    case 5: return std::to_string(m_checksum);
    case 6: return m_text;
    default: return {};
  }
}

void CSnsStreamStallPing::WriteFields(Json& out) const {
  out["flag_a"] = m_flagA;
  out["flag_b"] = m_flagB;
  out["checksum"] = m_checksum;
  out["text"] = m_text;
}

void CSnsStreamStallPing::Serialize(CArchive& ar) {
  std::int32_t flags = m_flagA | (m_flagB << 8) | (m_checksum << 16);
  if (ar.IsStoring()) {
    ar << flags;
  } else {
    ar >> flags;
    m_flagA = static_cast<std::uint8_t>(flags);
    m_flagB = static_cast<std::uint8_t>(flags >> 8);
    m_checksum = static_cast<std::uint8_t>(flags >> 16);
  }
}

std::string CSnsStreamStallPing::GetString(int index) const {
  switch (index) {
    case 0: return std::to_string(m_flagA);
    case 1: return std::to_string(m_flagB);
    case 2: return std::to_string(m_checksum);
    case 3: return m_text;
    default: return {};
  }
}

Json RecordJson(int kind, const CSnsr& record) {
  Json line;
  line["kind"] = kind;
  line["class"] = record.GetRuntimeClass()->m_lpszClassName;
  line["time"] = DoubleValue(record.m_time);
  line["bank"] = record.m_bank;
  record.WriteFields(line);
  return line;
}

void AppendRecordJsonLine(std::string& out, int kind, const CSnsr& record) {
  JsonLine line(out);
  line.Int("kind", kind);
  line.Text("class", record.GetRuntimeClass()->m_lpszClassName);
  line.Double("time", record.m_time);
  line.Int("bank", record.m_bank);
  record.WriteFields(line);
  line.Close();
}

std::string RecordJsonLine(int kind, const CSnsr& record) {
  std::string line;
  AppendRecordJsonLine(line, kind, record);
  return line;
}
