#include "sonar/zep_port.h"

#include "host/settings.h"

NYX_IMPLEMENT_DYNCREATE(CZepPort, CPort)

namespace {
constexpr unsigned char kDefaultBaudIndex = 2;  // 9600
constexpr unsigned kFallbackRate = 9600;
}  // namespace

CZepPort::CZepPort() { m_baud = kDefaultBaudIndex; }

void CZepPort::Settings(CESetObj& obj) {
  obj.Item("CommPort", m_commPort);
  CPort::Settings(obj);
}

unsigned CZepPort::GetBaud() {
  if (m_baud >= kBaudRates.size()) return kFallbackRate;
  const unsigned rate = kBaudRates[m_baud];
  m_charTime = 10.0 / rate;
  return rate;
}
