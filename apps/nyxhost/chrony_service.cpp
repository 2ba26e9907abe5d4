#include "nyxhost/chrony_service.h"

#include <mutex>

#include "comms/serial_comms.h"
#include "host/nyx_wnd.h"
#include "time/ntp_shm.h"
#include "time/pulse_seconds.h"

bool ChronyService::Start(int unit, CSComm* window, std::string& error) {
  if (!window) {
    error = "--chrony-shm needs a serial comms window";
    return false;
  }
  std::shared_ptr<NtpShmSegment> segment = NtpShmSegment::Attach(unit, error);
  if (!segment) return false;
  // The tracker may outlive this service: the publisher keeps the segment.
  m_publisher = std::shared_ptr<NtpShmPublisher>(new NtpShmPublisher(segment->Time()),
                                                 [segment](NtpShmPublisher* publisher) { delete publisher; });
  std::lock_guard guard(CNyxWnd::HostLock());
  window->m_pps.m_pListener = m_publisher;
  return true;
}

unsigned long ChronyService::Samples() const { return m_publisher ? m_publisher->Samples() : 0; }
