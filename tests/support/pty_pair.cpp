#include "support/pty_pair.h"

#include <stdexcept>
#include <thread>

PtyPair::PtyPair() {
  if (!IsOpen()) throw std::runtime_error("openpty failed");
}

void PtyPair::Write(const std::string& bytes) const {
  if (!PseudoTerminal::Write(bytes)) throw std::runtime_error("pseudo-terminal write failed");
}

bool PtyPair::WaitConsumed(std::chrono::milliseconds timeout) const {
  return WaitUntil([this] { return Unread() == 0; }, timeout);
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}
