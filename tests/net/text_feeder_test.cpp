// Lines from a file or a named pipe, handed on one by one; stopping while a
// pipe waits for a writer.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "net/loopback.h"
#include "net/text_feeder.h"
#include "support/capture.h"
#include "support/temp_files.h"

using loopback::WaitUntil;

namespace {

class Lines {
 public:
  CTextLineFeeder::LineHandler Handler() {
    return [this](const std::string& line) {
      std::lock_guard guard(m_lock);
      m_lines.push_back(line);
    };
  }
  std::vector<std::string> Get() const {
    std::lock_guard guard(m_lock);
    return m_lines;
  }

 private:
  mutable std::mutex m_lock;
  std::vector<std::string> m_lines;
};

void WriteAll(int fd, const std::string& text) {
  ASSERT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
}

}  // namespace

TEST(TextFeeder, FileLinesAreHandedOnInOrder) {
  struct FileCase {
    const char* name;
    std::string content;
    std::vector<std::string> lines;
  };
  const FileCase cases[] = {
      {"LF and CR LF endings", "one\r\ntwo\n", {"one", "two"}},
      {"empty lines stay", "a\n\nb\n", {"a", "", "b"}},
      {"last line without an ending", "a\nb", {"a", "b"}},
      {"a lone CR is text", "a\rb\n", {"a\rb"}},
      {"empty file", "", {}},
      {"overlong line comes in pieces",
       std::string(CTextLineFeeder::kMaxLine + 5, 'x') + "\n",
       {std::string(CTextLineFeeder::kMaxLine, 'x'), "xxxxx"}},
  };
  for (const auto& c : cases) {
    TempFile path("nyx_feeder_file");
    {
      std::ofstream file(path.Path(), std::ios::binary);
      file << c.content;
    }
    Lines lines;
    CTextLineFeeder feeder(lines.Handler());
    ASSERT_EQ(feeder.Start(path.Path()), 0) << c.name;
    ASSERT_TRUE(WaitUntil([&] { return feeder.IsFinished(); })) << c.name;
    EXPECT_EQ(lines.Get(), c.lines) << c.name;
    EXPECT_EQ(feeder.GetLineCount(), c.lines.size()) << c.name;
  }
}

TEST(TextFeeder, MissingFileIsAnError) {
  CTextLineFeeder feeder([](const std::string&) {});
  EXPECT_EQ(feeder.Start("/nonexistent/nyx/texts"), ENOENT);
}

TEST(TextFeeder, PipeIsReadAcrossWritersUntilStopped) {
  TempFile path("nyx_feeder_fifo");
  ASSERT_EQ(mkfifo(path.Path().c_str(), 0600), 0);
  Lines lines;
  CTextLineFeeder feeder(lines.Handler());
  ASSERT_EQ(feeder.Start(path.Path()), 0);

  int writer = open(path.Path().c_str(), O_WRONLY);
  ASSERT_GE(writer, 0);
  WriteAll(writer, "alpha\nbe");
  ASSERT_TRUE(WaitUntil([&] { return lines.Get().size() == 1; }));
  WriteAll(writer, "ta\n");
  close(writer);
  ASSERT_TRUE(WaitUntil([&] { return lines.Get().size() == 2; }));

  // A writer that comes later is read too: the first one leaving ended nothing.
  writer = open(path.Path().c_str(), O_WRONLY);
  ASSERT_GE(writer, 0);
  WriteAll(writer, "gamma\n");
  close(writer);
  ASSERT_TRUE(WaitUntil([&] { return lines.Get().size() == 3; }));
  EXPECT_FALSE(feeder.IsFinished());
  EXPECT_EQ(lines.Get(), (std::vector<std::string>{"alpha", "beta", "gamma"}));

  // Stopping while it waits for a writer ends the thread.
  feeder.Stop();
  EXPECT_TRUE(feeder.IsFinished());
}

TEST(TextFeeder, WithoutAHandlerLinesGoToTheHostAsUdpTexts) {
  TempFile path("nyx_feeder_host");
  {
    std::ofstream file(path.Path());
    file << "$TARGET,1\nstatus\n";
  }
  RecordCollector host;
  std::vector<std::string> texts;
  class TextWnd : public CNyxWnd {
   public:
    explicit TextWnd(std::vector<std::string>& out) : m_out(out) { Join(s_infoRx, this); }
    ~TextWnd() override { LeaveReceiverLists(); }
    void OnInfoMsg(int kind, void* data) override {
      if (kind == kInfoUdpText) m_out.emplace_back(static_cast<const char*>(data));
    }
    std::vector<std::string>& m_out;
  } wnd(texts);
  CTextLineFeeder feeder;
  ASSERT_EQ(feeder.Start(path.Path()), 0);
  ASSERT_TRUE(WaitUntil([&] { return feeder.IsFinished(); }));
  feeder.Stop();
  EXPECT_EQ(texts, (std::vector<std::string>{"$TARGET,1", "status"}));
  EXPECT_EQ(host.Infos(kInfoUdpText).size(), 2u);
}
