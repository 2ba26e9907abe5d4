#include "formats/sound_speed.h"

#include <chrono>
#include <cstdio>
#include <thread>

#include "host/nyx_wnd.h"
#include "host/records.h"
#include "host/tx_msg.h"
#include "port/port.h"

NYX_IMPLEMENT_DYNCREATE(CSD_AML_SVP, CDecode)
NYX_IMPLEMENT_DYNCREATE(CSD_SOS, CDecode)

namespace {

constexpr double kMinSpeed = 1.0;
constexpr const char* kSpeedHint = "Speed of sound in m/s";

void SendSpeed(double time, int bank, double speed) {
  CSnsrSOS record;
  record.Stamp(time, bank);
  record.m_sos = static_cast<float>(speed);
  CNyxWnd::SnsrMsg(kSnsrSOS, &record);
}

}  // namespace

CSD_AML_SVP::CSD_AML_SVP() {
  m_name = "AML Smart SVP";
  m_description = kSpeedHint;
}

int CSD_AML_SVP::DecodeMsg(double time, std::string& msg, int bank) {
  double first = 0.0;
  double speed = 0.0;
  if (std::sscanf(msg.c_str(), "%lf %lf", &first, &speed) != 2 || !(speed > kMinSpeed)) return kDecodeBad;
  SendSpeed(time, bank, speed);
  return kDecodeOk;
}

void CSD_AML_SVP::Enable(int on) {
  if (!on || !m_pPort) return;
  // The probe takes one key at a time and needs a moment between them.
  static const char kWake[] = {'\r', '\r', 'M', '\r'};
  for (std::size_t i = 0; i < sizeof kWake; ++i) {
    if (i > 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    TX_MSG msg{&kWake[i], 1};
    m_pPort->SendData(&msg);
  }
}

CSD_SOS::CSD_SOS() {
  m_name = "Speed of Sound";
  m_description = kSpeedHint;
}

int CSD_SOS::DecodeMsg(double time, std::string& msg, int bank) {
  static const char kBlanks[] = " \t\n\v\f\r";
  const std::size_t first = msg.find_first_not_of(kBlanks);
  if (first == std::string::npos) {
    msg.clear();
  } else {
    msg.erase(msg.find_last_not_of(kBlanks) + 1);
    msg.erase(0, first);
  }
  double speed = 0.0;
  if (std::sscanf(msg.c_str(), "%lf", &speed) != 1 || !(speed > kMinSpeed)) return kDecodeBad;
  SendSpeed(time, bank, speed);
  return kDecodeOk;
}
