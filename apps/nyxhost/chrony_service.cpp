#include "nyxhost/chrony_service.h"

#include <mutex>

#include "comms/serial_comms.h"
#include "host/nyx_wnd.h"
#include "nyxhost/host_runner.h"
#include "time/ntp_shm.h"
#include "time/pulse_seconds.h"

int ChronyService::Start(HostRunner& host, std::string& error) {
  CSComm* window = host.Window();
  if (!window) {
    error = "--chrony-shm needs a serial comms window";
    return kHostFileError;
  }
  std::shared_ptr<NtpShmSegment> segment = NtpShmSegment::Attach(m_unit, error);
  if (!segment) return kHostFileError;
  // The tracker may outlive this service: the publisher keeps the segment.
  m_publisher = std::shared_ptr<NtpShmPublisher>(new NtpShmPublisher(segment->Time()),
                                                 [segment](NtpShmPublisher* publisher) { delete publisher; });
  std::lock_guard guard(CNyxWnd::HostLock());
  window->m_pps.m_pListener = m_publisher;
  return kHostOk;
}

unsigned long ChronyService::Samples() const { return m_publisher ? m_publisher->Samples() : 0; }
