// The System V shared memory behind NtpShmSegment.
#include <sys/ipc.h>
#include <sys/shm.h>

#include <cerrno>
#include <cstring>

#include "time/ntp_shm.h"

std::unique_ptr<NtpShmSegment> NtpShmSegment::Attach(int unit, std::string& error) {
  if (unit < 0 || unit > 255) {
    error = "shared-memory unit " + std::to_string(unit) + " is not 0 to 255";
    return nullptr;
  }
  const key_t key = static_cast<key_t>(kNtpShmKeyBase + unit);
  // Owner-only, as the reader makes units 0 and 1; a segment it made is used as it is.
  const int id = ::shmget(key, sizeof(NtpShmTime), IPC_CREAT | 0600);
  if (id < 0) {
    error = "shared-memory unit " + std::to_string(unit) + ": " + std::strerror(errno);
    return nullptr;
  }
  void* address = ::shmat(id, nullptr, 0);
  if (address == reinterpret_cast<void*>(-1)) {
    error = "shared-memory unit " + std::to_string(unit) + ": " + std::strerror(errno);
    return nullptr;
  }
  return std::unique_ptr<NtpShmSegment>(new NtpShmSegment(static_cast<NtpShmTime*>(address)));
}

NtpShmSegment::~NtpShmSegment() { ::shmdt(m_time); }
