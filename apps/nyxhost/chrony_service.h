// --chrony-shm N: the serial window's pulses, labelled with their UTC second by
// its ZDAs, go as samples into the time daemon's shared-memory unit N.
#pragma once

#include <memory>
#include <string>

#include "nyxhost/host_service.h"

class NtpShmPublisher;

class ChronyService : public HostService {
 public:
  explicit ChronyService(int unit) : m_unit(unit) {}

  // Attaches the unit and listens to the serial window's pulse tracker.
  int Start(HostRunner& host, std::string& error) override;
  unsigned long Samples() const;

 private:
  int m_unit;
  std::shared_ptr<NtpShmPublisher> m_publisher;
};
