// Settings files: typed items stored and loaded in order, by key.
#include <gtest/gtest.h>

#include <filesystem>

#include "host/settings.h"
#include "support/temp_files.h"

namespace {

std::string ObjectXml(const std::string& items) {
  return "<NyxSettings><Col name=\"C\"><Obj name=\"O\" text=\"\">" + items + "</Obj></Col></NyxSettings>";
}

struct Values {
  unsigned char u8 = 0;
  unsigned short u16 = 0;
  int i = 0;
  unsigned u = 0;
  double d = 0.0;
  std::string s;
  int again = 0;

  void Settings(CESetObj& obj) {
    obj.Item("U8", u8);
    obj.Item("U16", u16);
    obj.Item("Int", i);
    obj.Item("UInt", u);
    obj.Item("Double", d);
    obj.Item("String", s);
    obj.Item("Int", again);
  }
  auto Tie() const { return std::tie(u8, u16, i, u, d, s, again); }
};

TEST(Settings, StoresAndLoadsEveryItemTypeInOrderThroughAFile) {
  Values stored{200, 65000, -42, 4000000000u, 0.1, "a <b> & \"c\"\nline 2", 3};
  CESet set;
  stored.Settings(*set.AddCol("C")->AddObj("O", "No Data"));
  TempDir dir;
  ASSERT_TRUE(set.Save(dir / "station.xml"));
  EXPECT_FALSE(std::filesystem::exists(dir / "station.xml.tmp"));
  EXPECT_FALSE(set.Save(dir / "no/such/dir.xml"));

  CESet loaded;
  ASSERT_TRUE(loaded.Load(dir / "station.xml")) << loaded.GetLastError();
  CESetObj* obj = loaded.GetCol("C")->GetObj("O");
  EXPECT_EQ(obj->GetText(), "No Data");
  Values read;
  read.Settings(*obj);
  EXPECT_EQ(read.Tie(), stored.Tie());
  int past = 0;
  obj->Item("Int", past);  // past the stored ones: the last again
  EXPECT_EQ(past, 3);

  EXPECT_FALSE(loaded.Load(dir / "missing.xml"));
  EXPECT_NE(loaded.GetLastError().find("missing.xml"), std::string::npos);
  loaded.BeginStoring();
  EXPECT_TRUE(loaded.IsStoring());
  EXPECT_EQ(loaded.GetCol("C"), nullptr);
}

TEST(Settings, MissingOrUnfittingItemsLeaveTheVariable) {
  const std::string items[] = {"256", "-1", "12x", ""};
  for (const auto& item : items) {
    CESet set;
    ASSERT_TRUE(set.LoadFromString(ObjectXml("<Item key=\"U8\" type=\"u8\">" + item + "</Item>")));
    unsigned char value = 7;
    set.GetCol("C")->GetObj("O")->Item("U8", value);
    set.GetCol("C")->GetObj("O")->Item("Other", value);
    EXPECT_EQ(value, 7) << item;
  }
  for (const std::string text : {"", "<NyxSettings>", "<Other/>", "\x01\x02"}) {
    CESet set;
    EXPECT_FALSE(set.LoadFromString(text)) << text;
    EXPECT_FALSE(set.GetLastError().empty());
    EXPECT_TRUE(set.GetCols().empty());
  }
}

}  // namespace
