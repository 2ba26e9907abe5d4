// Settings files: typed items stored and loaded in order, by key.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "host/settings.h"

namespace {

struct Values {
  unsigned char u8 = 0;
  unsigned short u16 = 0;
  int i = 0;
  unsigned u = 0;
  double d = 0.0;
  std::string s;

  void Settings(CESetObj& obj) {
    obj.Item("U8", u8);
    obj.Item("U16", u16);
    obj.Item("Int", i);
    obj.Item("UInt", u);
    obj.Item("Double", d);
    obj.Item("String", s);
  }
};

std::string ObjectXml(const std::string& items) {
  return "<NyxSettings><Col name=\"C\"><Obj name=\"O\" text=\"\">" + items + "</Obj></Col></NyxSettings>";
}

}  // namespace

TEST(Settings, StoresAndLoadsEveryItemType) {
  Values stored{200, 65000, -42, 4000000000u, 0.1, "a <b> & \"c\"\nline 2"};
  CESet set;
  stored.Settings(*set.AddCol("C")->AddObj("O", "No Data"));

  CESet loaded;
  ASSERT_TRUE(loaded.LoadFromString(set.ToString())) << loaded.GetLastError();
  ASSERT_TRUE(loaded.IsLoading());
  CESetObj* obj = loaded.GetCol("C")->GetObj("O");
  ASSERT_NE(obj, nullptr);
  EXPECT_EQ(obj->GetText(), "No Data");
  Values read;
  read.Settings(*obj);
  EXPECT_EQ(read.u8, 200);
  EXPECT_EQ(read.u16, 65000);
  EXPECT_EQ(read.i, -42);
  EXPECT_EQ(read.u, 4000000000u);
  EXPECT_EQ(read.d, 0.1);
  EXPECT_EQ(read.s, stored.s);
}

TEST(Settings, KeepsItemsInTheOrderStoredIncludingRepeatedKeys) {
  CESet set;
  CESetObj* obj = set.AddCol("C")->AddObj("O");
  int a = 1, b = 2, again = 3;
  obj->Item("A", a);
  obj->Item("B", b);
  obj->Item("A", again);
  ASSERT_EQ(obj->GetItems().size(), 3u);
  EXPECT_EQ(obj->GetItems()[0].key, "A");
  EXPECT_EQ(obj->GetItems()[1].key, "B");
  EXPECT_EQ(obj->GetItems()[2].value, "3");

  CESet loaded;
  ASSERT_TRUE(loaded.LoadFromString(set.ToString()));
  CESetObj* in = loaded.GetCol("C")->GetObj("O");
  int first = 0, second = 0, third = 0;
  in->Item("A", first);
  in->Item("A", second);
  in->Item("A", third);  // past the stored ones: the last again
  EXPECT_EQ(first, 1);
  EXPECT_EQ(second, 3);
  EXPECT_EQ(third, 3);
}

TEST(Settings, MissingOrUnfittingItemsLeaveTheVariable) {
  struct Case {
    std::string item;
  };
  const Case cases[] = {
      {""},
      {R"(<Item key="U8" type="u8">256</Item>)"},
      {R"(<Item key="U8" type="u8">-1</Item>)"},
      {R"(<Item key="U8" type="u8">12x</Item>)"},
      {R"(<Item key="U8" type="u8"></Item>)"},
  };
  for (const auto& c : cases) {
    CESet set;
    ASSERT_TRUE(set.LoadFromString(ObjectXml(c.item))) << c.item;
    unsigned char value = 7;
    set.GetCol("C")->GetObj("O")->Item("U8", value);
    EXPECT_EQ(value, 7) << c.item;
  }
}

TEST(Settings, RejectsFilesThatAreNotSettings) {
  const std::string bad[] = {"", "<NyxSettings>", "<Other/>", "\x01\x02"};
  for (const auto& text : bad) {
    CESet set;
    EXPECT_FALSE(set.LoadFromString(text)) << text;
    EXPECT_FALSE(set.GetLastError().empty());
    EXPECT_TRUE(set.GetCols().empty());
  }
}

TEST(Settings, SavesAndLoadsFiles) {
  const auto dir = std::filesystem::temp_directory_path() / ("nyx_settings_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string path = (dir / "station.xml").string();
  CESet set;
  double value = 2.5;
  set.AddCol("C")->AddObj("O")->Item("V", value);
  ASSERT_TRUE(set.Save(path));
  EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));

  CESet loaded;
  ASSERT_TRUE(loaded.Load(path)) << loaded.GetLastError();
  double read = 0;
  loaded.GetCol("C")->GetObj("O")->Item("V", read);
  EXPECT_EQ(read, 2.5);

  EXPECT_FALSE(loaded.Load((dir / "missing.xml").string()));
  EXPECT_NE(loaded.GetLastError().find("missing.xml"), std::string::npos);
  EXPECT_FALSE(set.Save((dir / "no" / "such" / "dir.xml").string()));
  std::filesystem::remove_all(dir);
}

TEST(Settings, StoringAgainStartsEmpty) {
  CESet set;
  ASSERT_TRUE(set.LoadFromString(ObjectXml("")));
  set.BeginStoring();
  EXPECT_TRUE(set.IsStoring());
  EXPECT_EQ(set.GetCol("C"), nullptr);
}
