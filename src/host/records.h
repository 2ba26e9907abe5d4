// Sensor records handed to the host. A decoder builds one on its stack, fills
// the fields its format carries and passes it with CNyxWnd::SnsrMsg (or, for
// the stream records, CNyxWnd::InfoMsg); receivers copy what they keep.
#pragma once

#include <cstdint>
#include <string>

#include <nlohmann/json_fwd.hpp>

#include "host/archive.h"
#include "host/geometry.h"
#include "host/runtime_class.h"
#include "host/tm80.h"

class JsonLine;

// Record kinds of SnsrMsg; the stream records travel as info kinds 12001 and 12003.
enum SnsrKind : int {
  kSnsrInf = 0,
  kSnsrPos = 1,
  kSnsrGyro = 2,
  kSnsrMru = 3,
  kSnsrZ = 4,
  kSnsrSOS = 6,
  kSnsrTime = 7,
  kSnsrAlt = 8,
  kSnsrVTG = 10,
  kSnsrMarker = 14,
  kSnsrPps = 15,
  kSnsrAnnotation = 16,
  kSnsrTmp = 17,
  kSnsrPressure = 18,
};

// Fields every record has: time stamp, bank and type code.
class CSnsr : public CObject {
  NYX_DECLARE_DYNAMIC(CSnsr)
 public:
  double m_time = 0.0;
  std::uint8_t m_bank = 0;
  std::uint8_t m_type = 0;

  // The message time and the bank, kept to its low 8 bits as records carry it.
  void Stamp(double time, int bank) {
    m_time = time;
    m_bank = static_cast<std::uint8_t>(bank);
  }

  // The class's own fields, appended to a JSON object in their fixed order:
  // to a document (for the rare reader that wants one) or straight to a line.
  virtual void WriteFields(nlohmann::ordered_json& out) const;
  virtual void WriteFields(JsonLine& out) const;
};

class CSnsrInf : public CSnsr {
  NYX_DECLARE_DYNCREATE(CSnsrInf)
 public:
  std::string m_text;
  void WriteFields(nlohmann::ordered_json& out) const override;
  void WriteFields(JsonLine& out) const override;
};

class CSnsrPos : public CSnsr {
  NYX_DECLARE_DYNCREATE(CSnsrPos)
 public:
  std::uint16_t m_quality = 0;
  CV3 m_pos;  // x longitude deg, y latitude deg, z metres
  float m_hdop = 0.0f;
  std::uint16_t m_sats = 0;
  CV3 m_pos2;
  void WriteFields(nlohmann::ordered_json& out) const override;
  void WriteFields(JsonLine& out) const override;
};

class CSnsrGyro : public CSnsr {
  NYX_DECLARE_DYNCREATE(CSnsrGyro)
 public:
  float m_heading = 0.0f;
  std::uint16_t m_status = 0;
  std::string m_statusText;
  void WriteFields(nlohmann::ordered_json& out) const override;
  void WriteFields(JsonLine& out) const override;
};

class CSnsrMru : public CSnsr {
  NYX_DECLARE_DYNCREATE(CSnsrMru)
 public:
  float m_pitch = 0.0f;
  float m_roll = 0.0f;
  float m_heave = 0.0f;
  float m_sway = 0.0f;
  float m_surge = 0.0f;
  std::uint16_t m_status = 0;
  std::string m_statusText;
  void WriteFields(nlohmann::ordered_json& out) const override;
  void WriteFields(JsonLine& out) const override;
};

class CSnsrZ : public CSnsr {
  NYX_DECLARE_DYNCREATE(CSnsrZ)
 public:
  float m_depth = 0.0f;
  void WriteFields(nlohmann::ordered_json& out) const override;
  void WriteFields(JsonLine& out) const override;
};

class CSnsrSOS : public CSnsr {
  NYX_DECLARE_DYNCREATE(CSnsrSOS)
 public:
  float m_sos = 0.0f;
  void WriteFields(nlohmann::ordered_json& out) const override;
  void WriteFields(JsonLine& out) const override;
};

class CSnsrTime : public CSnsr {
  NYX_DECLARE_DYNCREATE(CSnsrTime)
 public:
  CTm80 m_gpsTime;
  std::uint8_t m_zoneHours = 0;
  std::uint8_t m_zoneMinutes = 0;
  void WriteFields(nlohmann::ordered_json& out) const override;
  void WriteFields(JsonLine& out) const override;
};

class CSnsrAlt : public CSnsr {
  NYX_DECLARE_DYNCREATE(CSnsrAlt)
 public:
  float m_depth = 0.0f;
  void WriteFields(nlohmann::ordered_json& out) const override;
  void WriteFields(JsonLine& out) const override;
};

class CSnsrVTG : public CSnsr {
  NYX_DECLARE_DYNCREATE(CSnsrVTG)
 public:
  float m_trueHeading = 0.0f;
  float m_magHeading = 0.0f;
  float m_knots = 0.0f;
  float m_kmh = 0.0f;
  void WriteFields(nlohmann::ordered_json& out) const override;
  void WriteFields(JsonLine& out) const override;
};

class CSnsrMarker : public CSnsr {
  NYX_DECLARE_DYNCREATE(CSnsrMarker)
 public:
  float m_marker = 0.0f;
  void WriteFields(nlohmann::ordered_json& out) const override;
  void WriteFields(JsonLine& out) const override;
};

class CSnsrTmp : public CSnsr {
  NYX_DECLARE_DYNCREATE(CSnsrTmp)
 public:
  float m_temperature = 0.0f;
  void WriteFields(nlohmann::ordered_json& out) const override;
  void WriteFields(JsonLine& out) const override;
};

class CSnsrPressure : public CSnsr {
  NYX_DECLARE_DYNCREATE(CSnsrPressure)
 public:
  float m_pressure = 0.0f;
  std::string m_pressureUnit;
  float m_temperature = 0.0f;
  std::string m_temperatureUnit;
  void WriteFields(nlohmann::ordered_json& out) const override;
  void WriteFields(JsonLine& out) const override;
};

// Stream records: kept by their decoder for its whole life and handed over with
// InfoMsg; they can serialise themselves and give their fields as text.
class CSnsStreamSCADA : public CSnsrInf {
  NYX_DECLARE_DYNCREATE(CSnsStreamSCADA)
 public:
  double m_x = 0.0;
  double m_y = 0.0;
  double m_z = 0.0;
  std::uint8_t m_flagA = 0;
  std::uint8_t m_flagB = 0;
  std::uint8_t m_checksum = 0;

  virtual void Serialize(CArchive& ar);
  // Field i as text: x, y, z, flag A, flag B, checksum, text; empty beyond.
  virtual std::string GetString(int index) const;
  void WriteFields(nlohmann::ordered_json& out) const override;
  void WriteFields(JsonLine& out) const override;
};

class CSnsStreamStallPing : public CSnsrInf {
  NYX_DECLARE_DYNCREATE(CSnsStreamStallPing)
 public:
  std::uint8_t m_flagA = 0;
  std::uint8_t m_flagB = 0;
  std::uint8_t m_checksum = 0;

  virtual void Serialize(CArchive& ar);
  // Field i as text: flag A, flag B, checksum, text; empty beyond.
  virtual std::string GetString(int index) const;
  void WriteFields(nlohmann::ordered_json& out) const override;
  void WriteFields(JsonLine& out) const override;
};

// The record handed over with this kind as a JSON object: "kind", "class",
// "time", "bank", then the class's own fields.
nlohmann::ordered_json RecordJson(int kind, const CSnsr& record);

// The same object as one JSON line (without the newline), appended to out
// with no document built; byte for byte RecordJson's compact dump.
void AppendRecordJsonLine(std::string& out, int kind, const CSnsr& record);
std::string RecordJsonLine(int kind, const CSnsr& record);
