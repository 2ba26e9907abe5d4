// Waiting on a socket: data, a wake from another thread, or the time running out.
#include <gtest/gtest.h>

#include <thread>

#include "net/loopback.h"
#include "net/udp_socket.h"

namespace {

using namespace std::chrono_literals;

TEST(UdpSocket, WaitsEndOnDataWakeOrTimeout) {
  CUdpSocket socket, sender;
  ASSERT_EQ(socket.Open(0), 0);
  ASSERT_EQ(sender.Open(0), 0);
  CWakeFd wake;
  EXPECT_EQ(WaitReadable(socket.Fd(), wake, 10ms), WaitResult::Timeout);
  std::thread waker([&] {
    std::this_thread::sleep_for(20ms);
    wake.Signal();
  });
  EXPECT_EQ(WaitReadable(socket.Fd(), wake, 5000ms), WaitResult::Woken);
  waker.join();
  // The wake stays until cleared, and wins over waiting data.
  ASSERT_TRUE(loopback::SendBytes(sender, socket.LocalPort(), {0}));
  EXPECT_EQ(WaitReadable(socket.Fd(), wake, 1000ms), WaitResult::Woken);
  wake.Clear();
  EXPECT_EQ(WaitReadable(socket.Fd(), wake, 1000ms), WaitResult::Readable);
}

}  // namespace
