// --chrony-shm N: the serial window's pulses, labelled with their UTC second by
// its ZDAs, go as samples into the time daemon's shared-memory unit N.
#pragma once

#include <memory>
#include <string>

class CSComm;
class NtpShmPublisher;

class ChronyService {
 public:
  // Attaches unit N and listens to the window's pulse tracker. False with the reason.
  bool Start(int unit, CSComm* window, std::string& error);
  unsigned long Samples() const;

 private:
  std::shared_ptr<NtpShmPublisher> m_publisher;
};
