#include "formats/simrad.h"

#include <cstdint>
#include <cstdio>

#include "host/nyx_wnd.h"
#include "host/records.h"

NYX_IMPLEMENT_DYNCREATE(CSD_S3000, CDecode)

CSD_S3000::CSD_S3000() {
  m_name = "Simrad EM1000/EM3000";
  m_description = "kp, ks, bp, bs, sp, ss";
}

int CSD_S3000::DecodeByte(double time, unsigned char byte, std::string& msg, double& msgTime) {
  return m_frames.NewByte(time, byte, msg, msgTime);
}

int CSD_S3000::DecodeMsg(double time, std::string& msg, int bank) {
  int roll = 0, pitch = 0, heave = 0;
  unsigned heading = 0;
  if (std::sscanf(msg.c_str(), "%d,%d,%d,%u", &roll, &pitch, &heave, &heading) != 4) return kDecodeBad;

  CSnsrGyro gyro;
  gyro.Stamp(time, bank);
  gyro.m_heading = static_cast<float>(heading / 100.0);
  CNyxWnd::SnsrMsg(kSnsrGyro, &gyro);

  CSnsrMru motion;
  motion.Stamp(time, bank);
  motion.m_roll = static_cast<float>(roll / 100.0);
  motion.m_pitch = static_cast<float>(pitch / 100.0);
  motion.m_heave = static_cast<float>(heave / 100.0);
  CNyxWnd::SnsrMsg(kSnsrMru, &motion);
  return kDecodeOk;
}
