#include "formats/navipack.h"

#include <cstdint>
#include <cstdio>

#include "host/nyx_wnd.h"
#include "host/records.h"

NYX_IMPLEMENT_DYNCREATE(CSD_NaviPack, CDecode)

CSD_NaviPack::CSD_NaviPack() { m_name = "Navi-Pack"; }

int CSD_NaviPack::DecodeMsg(double time, std::string& msg, int bank) {
  int sensor = 0;
  double x = 0.0, y = 0.0, z = 0.0, heading = 0.0, pitch = 0.0, roll = 0.0;
  if (std::sscanf(msg.c_str(), "$G%d,%lf,%lf,%lf,%lf,%lf,%lf", &sensor, &x, &y, &z, &heading, &pitch, &roll) != 7) {
    return kDecodeBad;
  }
  // Unsigned so that any sensor number wraps instead of overflowing; records keep 8 bits.
  const auto sensorBank = static_cast<int>((static_cast<unsigned>(bank) + static_cast<unsigned>(sensor)) & 0xFFu);

  CSnsrMru motion;
  motion.Stamp(time, sensorBank);
  motion.m_pitch = static_cast<float>(pitch);
  motion.m_roll = static_cast<float>(roll);
  motion.m_heave = 0.0f;
  CNyxWnd::SnsrMsg(kSnsrMru, &motion);

  CSnsrGyro gyro;
  gyro.Stamp(time, sensorBank);
  gyro.m_heading = static_cast<float>(heading);
  CNyxWnd::SnsrMsg(kSnsrGyro, &gyro);

  CSnsrPos position;
  position.Stamp(time, sensorBank);
  position.m_pos2 = CV3{x, y, z};
  CNyxWnd::SnsrMsg(kSnsrPos, &position);
  return kDecodeOk;
}
