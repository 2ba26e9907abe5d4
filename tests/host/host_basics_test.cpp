// Runtime classes, text conversion, folded alarm reports and the task registry.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <tuple>
#include <vector>

#include "host/ansi_text.h"
#include "host/records.h"
#include "host/report_fold.h"
#include "host/runtime_class.h"
#include "host/task.h"
#include "support/temp_files.h"

namespace {

TEST(RuntimeClass, CreatesRegisteredClassesByExactName) {
  std::unique_ptr<CObject> object(CRuntimeClass::CreateObject("CSnsStreamStallPing"));
  ASSERT_NE(object, nullptr);
  EXPECT_TRUE(object->IsKindOf(RuntimeClassOf<CSnsrInf>()));
  EXPECT_FALSE(object->IsKindOf(RuntimeClassOf<CSnsStreamSCADA>()));
  EXPECT_EQ(CRuntimeClass::CreateObject("CSnsr"), nullptr);  // not creatable
  EXPECT_EQ(CRuntimeClass::FromName("csnsrpos"), nullptr);
}

TEST(AnsiText, ConvertsWindows1252ToUtf8AndBack) {
  const std::pair<std::string, std::string> cases[] = {
      {"$GPGGA,1*47", "$GPGGA,1*47"},
      {"\xB0" "C", "\xC2\xB0" "C"},                 // degree sign
      {"\x80", "\xE2\x82\xAC"},                     // euro sign
      {"\x81", "\xC2\x81"},                         // undefined byte kept as C1 control
      {std::string("a\0b", 3), std::string("a\0b", 3)},
      {"\xFF", "\xC3\xBF"},
  };
  for (const auto& [ansi, utf8] : cases) {
    EXPECT_EQ(Ansi::ToUtf8(ansi), utf8);
    EXPECT_EQ(Ansi::FromUtf8(utf8), ansi);
  }
  // Outside the code page, cut, badly continued, beyond the BMP: question marks.
  EXPECT_EQ(Ansi::FromUtf8("\xE4\xB8\xAD a\xC3(\xF0\x9F\x98\x80x\xC3"), "? a?(?x?");
}

// Steps in tests/data/host/report_fold.json-lines: time from the start, report, lines written for it.
TEST(ReportFolder, RepeatedAlarmsFoldIntoOneCountPerIdPerWindow) {
  ReportFolder folder;
  const auto start = ReportFolder::Clock::now();
  for (const auto& step : ReadJsonLines(NYX_SOURCE_DIR "/tests/data/host/report_fold.json-lines")) {
    SCOPED_TRACE(step.dump());
    const auto kind = step["kind"] == "status" ? Nyx::ReportKind::Status : Nyx::ReportKind::Alarm;
    const Nyx::Report report{kind, step["id"], step["level"], 0, step["text"]};
    const std::chrono::duration<double> after(step["at"].get<double>());
    const auto at = start + std::chrono::duration_cast<ReportFolder::Clock::duration>(after);
    EXPECT_EQ(folder.Take(report, at), step["lines"].get<std::vector<std::string>>());
  }
  EXPECT_EQ(folder.Flush(start + std::chrono::seconds(40)), std::vector<std::string>{});
}

TEST(Tasks, FindsTasksByNameAndReplacesOnAdd) {
  CTask::RemoveAll();
  CTask::AddTask("Sonar", "Zephra");
  CTask::AddTask("Target", "Target");
  EXPECT_EQ(CTask::GetTask("Sonar")->GetData()->m_typeName, "Zephra");
  EXPECT_EQ(CTask::GetTask("sonar"), nullptr);
  CTskInf* again = CTask::AddTask("Sonar", "Other");
  EXPECT_EQ(CTask::GetTask("Sonar"), again);
  EXPECT_EQ(CTask::s_tasks.GetCount(), 2u);
  CTask::RemoveAll();
  EXPECT_EQ(CTask::GetTask("Target"), nullptr);
  // Sonar type codes: 310XR, and the Mk2 platform bit.
  const std::tuple<std::uint16_t, bool, bool> codes[] = {
      {0x31, true, false}, {0xB1, true, true}, {0x30, false, false}, {0x80, false, true}, {0x131, true, false}};
  for (const auto& [code, is310XR, isMk2] : codes) {
    EXPECT_EQ(CTask::Is310XR(code), is310XR) << code;
    EXPECT_EQ(CTask::IsMk2Platform(code), isMk2) << code;
  }
}

}  // namespace
