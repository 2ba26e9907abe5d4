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

struct ReportFoldStep {
  double at;  // seconds from the start
  Nyx::ReportKind kind;
  int id, level;
  const char* text;
  std::vector<std::string> lines;  // written for it
};

TEST(ReportFolder, RepeatedAlarmsFoldIntoOneCountPerIdPerWindow) {
  using Nyx::ReportKind;
  const ReportFoldStep steps[] = {
      {0.0, ReportKind::Alarm, 3110, 2, "Checksum", {"alarm 3110 [2]: Checksum"}},
      {1.0, ReportKind::Alarm, 3110, 2, "Checksum 2", {}},
      {2.0, ReportKind::Alarm, 3100, 2, "Sender", {"alarm 3100 [2]: Sender"}},
      {9.0, ReportKind::Alarm, 3110, 2, "Checksum 3", {}},
      {10.5, ReportKind::Status, 9040, 2, "Timeout", {"alarm 3110 \u00d72 in 10 s: Checksum 3", "status 9040: Timeout"}},
      {11.0, ReportKind::Alarm, 3110, 2, "Checksum 4", {}},
      {14.0, ReportKind::Alarm, 3100, 2, "Sender", {"alarm 3100 [2]: Sender"}},  // its window passed quietly
      {20.6, ReportKind::Alarm, 3110, 2, "Checksum 5", {"alarm 3110 \u00d71 in 10 s: Checksum 4"}},
      {21.0, ReportKind::Alarm, 3110, 3, "Worse", {"alarm 3110 \u00d71 in 10 s: Checksum 5", "alarm 3110 [3]: Worse"}},
      {22.0, ReportKind::Alarm, 3110, 3, "Worse", {}},
      {23.0, ReportKind::Alarm, 3110, -1, "", {"alarm 3110 \u00d71 in 10 s: Worse", "alarm 3110 ended"}},
      {24.0, ReportKind::Alarm, 3110, -1, "", {}},  // not raised: nothing to end
      {25.0, ReportKind::Alarm, 3110, 2, "Again", {"alarm 3110 [2]: Again"}},
  };
  ReportFolder folder;
  const auto start = ReportFolder::Clock::now();
  for (const ReportFoldStep& step : steps) {
    SCOPED_TRACE(step.at);
    Nyx::Report report;
    report.kind = step.kind;
    report.id = step.id;
    report.level = step.level;
    report.text = step.text;
    const auto at = start + std::chrono::duration_cast<ReportFolder::Clock::duration>(std::chrono::duration<double>(step.at));
    EXPECT_EQ(folder.Take(report, at), step.lines);
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
