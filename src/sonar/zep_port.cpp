#include "sonar/zep_port.h"

#include "sonar/sonar_port_owner.h"
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

void CZepPort::SendData(TX_MSG* msg) {
  if (auto* owner = dynamic_cast<ISonarPortOwner*>(m_pOwner)) owner->SendZepData(static_cast<int>(m_index), msg, 0);
}

int CZepPort::OnTrigger(double, double dt) {
  // The age runs in the sonar's time base: against the host time of the
  // port's last byte, not against the PC clock.
  const int age = SetDataAge(m_portClock);
  m_commTime.ManageGpsTime();
  m_commTime.ManagePcTime();
  // A silent port starts to age from the twenty-first trigger on.
  if (m_triggersSinceByte < kTriggersBeforeAging) {
    ++m_triggersSinceByte;
  } else {
    m_portClock += dt;
  }
  return age > 0 ? 1 : 0;
}
