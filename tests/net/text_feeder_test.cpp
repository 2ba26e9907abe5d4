// Lines from a file or a named pipe, handed on one by one; stopping while a pipe waits for a writer.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "host/nyx_wnd.h"
#include "net/text_feeder.h"
#include "support/pty_pair.h"
#include "support/temp_files.h"

namespace {

using Lines = std::vector<std::string>;

// A window that keeps the UDP texts it is sent, as the UDP controller would take them.
class TextWnd : public CNyxWnd {
 public:
  TextWnd() { Join(s_infoRx, this); }
  ~TextWnd() override { LeaveReceiverLists(); }
  void OnInfoMsg(int kind, void* data) override {
    std::lock_guard guard(lock);
    if (kind == kInfoUdpText) texts.emplace_back(static_cast<const char*>(data));
  }
  Lines Texts() {
    std::lock_guard guard(lock);
    return texts;
  }
  std::mutex lock;
  Lines texts;
};

TEST(TextFeeder, FileLinesAreHandedOnInOrder) {
  const std::pair<std::string, Lines> cases[] = {
      {"one\r\ntwo\n", {"one", "two"}},
      {"a\n\nb\n", {"a", "", "b"}},
      {"a\nb", {"a", "b"}},  // the last line without an ending
      {"a\rb\n", {"a\rb"}},
      {"", {}},
      {std::string(CTextLineFeeder::kMaxLine + 5, 'x') + "\n",
       {std::string(CTextLineFeeder::kMaxLine, 'x'), "xxxxx"}},
  };
  for (const auto& [content, lines] : cases) {
    TempFile path("nyx_feeder_file");
    std::ofstream(path.Path(), std::ios::binary) << content;
    Lines got;
    CTextLineFeeder feeder([&](const std::string& line) { got.push_back(line); });
    ASSERT_EQ(feeder.Start(path.Path()), 0);
    ASSERT_TRUE(WaitUntil([&] { return feeder.IsFinished(); }));
    EXPECT_EQ(got, lines) << content;
    EXPECT_EQ(feeder.GetLineCount(), lines.size());
  }
  EXPECT_EQ(CTextLineFeeder().Start("/nonexistent/nyx/texts"), ENOENT);
}

TEST(TextFeeder, PipeIsReadAcrossWritersUntilStopped) {
  TempFile path("nyx_feeder_fifo");
  ASSERT_EQ(mkfifo(path.Path().c_str(), 0600), 0);
  TextWnd host;
  CTextLineFeeder feeder;
  ASSERT_EQ(feeder.Start(path.Path()), 0);
  // A writer that comes later is read too: the first one leaving ended nothing.
  const std::string writes[] = {"alpha\nbe", "ta\n", "gamma\n"};
  for (std::size_t i = 0; i < std::size(writes); ++i) {
    const int writer = open(path.Path().c_str(), O_WRONLY);
    ASSERT_EQ(write(writer, writes[i].data(), writes[i].size()), static_cast<ssize_t>(writes[i].size()));
    close(writer);
    ASSERT_TRUE(WaitUntil([&] { return host.Texts().size() == i + 1; })) << writes[i];
  }
  EXPECT_FALSE(feeder.IsFinished());
  // Stopping while it waits for a writer ends the thread.
  feeder.Stop();
  EXPECT_TRUE(feeder.IsFinished());
  EXPECT_EQ(host.Texts(), (Lines{"alpha", "beta", "gamma"}));
}

}  // namespace
