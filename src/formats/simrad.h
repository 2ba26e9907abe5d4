// Simrad EM1000/EM3000 attitude: a binary frame on the line (Binary framing),
// turned by the byte framer into a text that DecodeMsg reads.
#pragma once

#include <string>

#include "formats/attitude_frame.h"
#include "port/codec.h"

// Bytes: 90 90 10 00 F0 FF 05 00 28 23 (see AttitudeFrameSearch)
// Text:  16,-16,5,9000
//   roll, pitch (1/100 degree), heave (cm), heading (1/100 degree, unsigned)
class CSD_S3000 : public CDecode {
  NYX_DECLARE_DYNCREATE(CSD_S3000)
 public:
  CSD_S3000();
  int DecodeMsg(double time, std::string& msg, int bank) override;
  int DecodeByte(double time, unsigned char byte, std::string& msg, double& msgTime) override;

 private:
  AttitudeFrameSearch m_frames;
};
