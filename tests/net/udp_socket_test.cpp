// The socket layer on loopback: failures, waiting, waking.
#include <gtest/gtest.h>

#include <thread>

#include "net/loopback.h"
#include "net/udp_socket.h"

namespace {

using namespace std::chrono_literals;

TEST(UdpSocket, OpeningAndNamingFailuresAreReported) {
  CUdpSocket first, second;
  ASSERT_EQ(first.Open(0), 0);
  EXPECT_EQ(second.Open(first.LocalPort()), EADDRINUSE);
  EXPECT_EQ(second.Open(70000), EINVAL);
  EXPECT_EQ(second.LocalPort(), 0);
  unsigned char byte = 0;
  EXPECT_EQ(second.Receive(&byte, 1), -EBADF);
  // (No lookup of an unknown name here: that would ask the network's resolver.)
  UdpAddress address;
  std::string error;
  EXPECT_FALSE(ResolveUdpAddress("localhost", 65536, address, &error));
  EXPECT_FALSE(error.empty());
}

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
