// The maker's own sentences: target data for the external target system and
// stall-ping requests, with the XON/XOFF flow-control codes that system sends.
// Unlike the sensor decoders, each keeps one stream record for its whole life,
// overwrites it for every sentence, verifies the NMEA-style checksum and hands
// the record over with CNyxWnd::InfoMsg.
#pragma once

#include <cstdint>
#include <string>

#include "formats/attitude_frame.h"
#include "host/records.h"
#include "port/codec.h"

// In Binary mode the binary attitude frames of AttitudeFrameSearch arrive as
// text; the flow-control codes are messages of their own.
inline constexpr unsigned char kXon = 0x11;
inline constexpr unsigned char kXoff = 0x13;

// Target data, with or without the target flag.
//   $PVKRDTS,1.5,2.5,3.5,1,*6A     x, y, z, flag, checksum as its own field
//   $PVKRDTS,1.5,2.5,3.5,*77       x, y, z, checksum (flag B keeps its value)
class CDecodeTELDataToHalde : public CDecode {
  NYX_DECLARE_DYNCREATE(CDecodeTELDataToHalde)
 public:
  CDecodeTELDataToHalde();
  int DecodeMsg(double time, std::string& msg, int bank) override;
  int DecodeByte(double time, unsigned char byte, std::string& msg, double& msgTime) override;

  CSnsStreamSCADA m_record;

 private:
  AttitudeFrameSearch m_frames;
};

// Stall ping raised by the flow-control line alone: XON/XOFF are accepted,
// nothing is ever sent.
class CDecodeStallPingHardWare : public CDecode {
  NYX_DECLARE_DYNCREATE(CDecodeStallPingHardWare)
 public:
  CDecodeStallPingHardWare();
  int DecodeMsg(double time, std::string& msg, int bank) override;
  int DecodeByte(double time, unsigned char byte, std::string& msg, double& msgTime) override;

  CSnsStreamStallPing m_record;
};

// Stall-ping sentence, also taking the flow-control codes.
//   $PVKRSTP,1,*79                 1 stalls, anything else releases; checksum field
class CDecodeStallPingSoftWare : public CDecode {
  NYX_DECLARE_DYNCREATE(CDecodeStallPingSoftWare)
 public:
  CDecodeStallPingSoftWare();
  int DecodeMsg(double time, std::string& msg, int bank) override;
  int DecodeByte(double time, unsigned char byte, std::string& msg, double& msgTime) override;

  CSnsStreamStallPing m_record;

 private:
  AttitudeFrameSearch m_frames;
};

// Stall-ping sentence only (the layout above); flow-control codes are rejected.
class CDecodeStallPingString : public CDecode {
  NYX_DECLARE_DYNCREATE(CDecodeStallPingString)
 public:
  CDecodeStallPingString();
  int DecodeMsg(double time, std::string& msg, int bank) override;
  int DecodeByte(double time, unsigned char byte, std::string& msg, double& msgTime) override;

  CSnsStreamStallPing m_record;

 private:
  AttitudeFrameSearch m_frames;
};
