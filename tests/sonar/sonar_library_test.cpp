// The sonar library facade: what each call reaches, with and without a backend.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "sonar/sonar_library.h"
#include "sonar/sonar_recorder.h"

namespace {

void IgnoreHubMessage(int, int, const unsigned char*) {}
bool AnswerTime(std::uint64_t, std::uint32_t* seconds, std::uint32_t* microseconds) {
  *seconds = 1;
  *microseconds = 2;
  return true;
}

const char kBytes[] = {'$', 'A', '\r', '\n', '\0', static_cast<char>(0xFF)};

// Every call of the library once, with arguments that tell them apart, beside
// the line the recorder makes of it.
const struct {
  std::function<int()> call;
  const char* line;
} kEverything[] = {
    {[] { return ZEPX_InitComPort(101, 0, 9600, 0, 0, 0); }, "ZEPX_InitComPort(101, 0, 9600, 0, 0, 0)"},
    {[] { return ZEPX_InitComPort(101, 5, 19200, 0, 1, 1); }, "ZEPX_InitComPort(101, 5, 19200, 0, 1, 1)"},
    {[] { return ZEPX_SetNetworkConfigToDefaults(101); }, "ZEPX_SetNetworkConfigToDefaults(101)"},
    {[] { return ZEPX_SetNetworkRS232BaudRate(101, 38400); }, "ZEPX_SetNetworkRS232BaudRate(101, 38400)"},
    {[] { return ZEPX_SetNetworkRS232Routing(101, 4, 1); }, "ZEPX_SetNetworkRS232Routing(101, 4, 1)"},
    {[] { return ZEPX_SendZephraNetworkConfig(101); }, "ZEPX_SendZephraNetworkConfig(101)"},
    {[] { return ZEPX_SetSerialRS232BaudRate(101, 1, 4800); }, "ZEPX_SetSerialRS232BaudRate(101, 1, 4800)"},
    {[] { return ZEPX_SetSerialRS232TimeStamps(101, 1, 1); }, "ZEPX_SetSerialRS232TimeStamps(101, 1, 1)"},
    {[] { return ZEPX_SendZephraSerialConfig(101, 1); }, "ZEPX_SendZephraSerialConfig(101, 1)"},
    {[] { return ZEPX_SendRS232Ex(101, 6, kBytes, 1); }, "ZEPX_SendRS232Ex(101, 6, <$A\\x0D\\x0A\\x00\\xFF>, 1)"},
    {[] { return ZEPHUB_SetHandlerFunction(IgnoreHubMessage); }, "ZEPHUB_SetHandlerFunction(1)"},
    {[] { return ZEP_SetTimeSyncFunction(AnswerTime); }, "ZEP_SetTimeSyncFunction(1)"},
    {[] { return ZEPHUB_ConfigPort(100, 2, 6, 3, 0, 1, 0x13); }, "ZEPHUB_ConfigPort(100, 2, 6, 3, 0, 1, 19)"},
    {[] { return ZEPHUB_SendSerialCommand(100, 7, 2, "ok"); }, "ZEPHUB_SendSerialCommand(100, 7, 2, <ok>)"},
    {[] { return ZEPHUB_SendHubStayAlive(100); }, "ZEPHUB_SendHubStayAlive(100)"},
    {[] { return ZEPHUB_RequestRetry(100, 8, 513); }, "ZEPHUB_RequestRetry(100, 8, 513)"},
    {[] { return ZEPHUB_UseAltDeviceIPAddress(100, 192, 168, 1, 40, 255, 255, 255, 0); },
     "ZEPHUB_UseAltDeviceIPAddress(100, 192, 168, 1, 40, 255, 255, 255, 0)"},
    {[] { return ZEPHUB_TxToAltIPAddress(100, 1); }, "ZEPHUB_TxToAltIPAddress(100, 1)"},
    {[] { return ZEPHUB_SetSurveyNetworkEnable(100, 2); }, "ZEPHUB_SetSurveyNetworkEnable(100, 2)"},
    {[] { return ZEPHUB_DeleteDeviceID(100); }, "ZEPHUB_DeleteDeviceID(100)"},
    {[] { return ZEPHUB_SetHandlerFunction(nullptr); }, "ZEPHUB_SetHandlerFunction(0)"},
};

}  // namespace

TEST(SonarLibrary, EveryCallReachesTheBackendInOrderWithItsArgumentsOrReturnsZeroWithoutOne) {
  ZephraLibrary::Install(nullptr);
  EXPECT_EQ(ZephraLibrary::Installed(), nullptr);
  for (const auto& c : kEverything) EXPECT_EQ(c.call(), 0) << c.line;

  auto recorder = std::make_shared<CZephraRecorder>();
  ScopedZephraBackend scope(recorder);
  std::vector<std::string> expected;
  for (const auto& c : kEverything) {
    c.call();
    expected.push_back(c.line);
  }
  EXPECT_EQ(recorder->Lines(), expected);
}

namespace {
// A backend whose stay-alive call waits until the test lets it go.
struct BlockingBackend : CZephraBackend {
  explicit BlockingBackend(std::atomic<bool>& gone) : destroyed(gone) {}
  ~BlockingBackend() override { destroyed = true; }
  int SendHubStayAlive(int) override {
    entered.set_value();
    released.wait();
    return destroyed ? -1 : 42;
  }
  std::atomic<bool>& destroyed;
  std::promise<void> entered;
  std::promise<void> release;
  std::future<void> released = release.get_future();
};
}  // namespace

TEST(SonarLibrary, AReplacedBackendLivesUntilItsRunningCallReturns) {
  std::atomic<bool> destroyed{false};
  auto backend = std::make_shared<BlockingBackend>(destroyed);
  BlockingBackend* raw = backend.get();
  ZephraLibrary::Install(std::move(backend));
  int result = 0;
  auto entered = raw->entered.get_future();
  std::thread caller([&] { result = ZEPHUB_SendHubStayAlive(1); });
  entered.wait();
  ZephraLibrary::Install(nullptr);  // the library's only reference goes
  EXPECT_FALSE(destroyed);
  raw->release.set_value();
  caller.join();
  EXPECT_EQ(result, 42);
  EXPECT_TRUE(destroyed);
}

