// The six Octans decoders: which sentences each takes and as which part, the
// sign letters, the checksum rule, the kept heading and attitude, and the
// port's light for the combined sets.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "formats/decode_case.h"
#include "formats/octans.h"

using decode_case::Row;
using decode_case::RunRows;

namespace {

const std::string kHdt = "$HEHDT,90.0,T*16";
const std::string kInf = "$PHINF,00000000*75";
const std::string kTrh = "$PHTRH,1.50,P,2.25,B,0.10,O*15";
const std::string kTro = "$PHTRO,1.50,P,2.25,B*42";
const std::string kLin = "$PHLIN,0.10,-0.20,0.30*4C";
const std::string kSpd = "$PHSPD,1.0,0.0,0.0*5C";

const char* kHeadingRecord = R"({"kind":2,"class":"CSnsrGyro","heading":90})";
const char* kAttitudeHeave = R"({"kind":3,"class":"CSnsrMru","pitch":-1.5,"roll":-2.25,"heave":-0.1})";
const char* kAttitude = R"({"kind":3,"class":"CSnsrMru","pitch":-1.5,"roll":-2.25,"heave":0})";
const char* kLinear = R"({"kind":3,"class":"CSnsrMru","surge":0.1,"sway":-0.2,"heave":0.3,"pitch":0,"roll":0})";
// Before any heading the speeds are rotated by 0.
const char* kSpeed = R"({"kind":1,"class":"CSnsrPos","pos":[1,0,0],"pos2":[0,1,0]})";

struct Decoder {
  const char* name;  // registry name
  std::unique_ptr<CDecode> (*make)();
};

template <class T>
std::unique_ptr<CDecode> Make() {
  return std::make_unique<T>();
}

const Decoder kDecoders[] = {
    {"OctansAll", Make<CSD_OctansAll>},       {"OctansGHPR", Make<CSD_OctansGHPR>},
    {"OctansHead", Make<CSD_OctansHead>},     {"OctansHPR", Make<CSD_OctansHPR>},
    {"OctansLinear", Make<CSD_OctansLinear>}, {"OctansPR", Make<CSD_OctansPR>},
};

}  // namespace

TEST(Octans, EachDecoderTakesItsSentencesAsItsParts) {
  struct Expect {
    int result;
    std::vector<std::string> records;
  };
  const std::string sentences[] = {kHdt, kInf, kTrh, kTro, kLin, kSpd};
  // One row per decoder (in kDecoders order), one column per sentence, each on a fresh decoder.
  const std::vector<std::vector<Expect>> table = {
      {{1, {kHeadingRecord}}, {2, {}}, {3, {kAttitudeHeave}}, {4, {}}, {5, {kLinear}}, {6, {kSpeed}}},
      {{1, {kHeadingRecord}}, {2, {}}, {3, {kAttitudeHeave}}, {0, {}}, {0, {}}, {0, {}}},
      {{1, {kHeadingRecord}}, {2, {}}, {0, {}}, {0, {}}, {0, {}}, {0, {}}},
      {{0, {}}, {0, {}}, {1, {kAttitudeHeave}}, {0, {}}, {0, {}}, {0, {}}},
      {{1, {}}, {0, {}}, {0, {}}, {0, {}}, {2, {kLinear}}, {3, {kSpeed}}},
      {{0, {}}, {0, {}}, {0, {}}, {1, {kAttitude}}, {0, {}}, {0, {}}},
  };
  for (std::size_t d = 0; d < std::size(kDecoders); ++d) {
    for (std::size_t s = 0; s < std::size(sentences); ++s) {
      const auto decoder = kDecoders[d].make();
      const auto out = decode_case::DecodeOne(*decoder, sentences[s] + "\r");
      const std::string context = std::string(kDecoders[d].name) + " " + sentences[s];
      EXPECT_EQ(out.result, table[d][s].result) << context;
      decode_case::ExpectRecords(out.records, table[d][s].records, context);
    }
  }
}

TEST(Octans, SignLettersAreUpperCasePBAndO) {
  RunRows<CSD_OctansHPR>({
      {"$PHTRH,1.50,P,2.25,B,0.10,O*hh", 1, {R"({"pitch":-1.5,"roll":-2.25,"heave":-0.1})"}},
      {"$PHTRH,1.50,M,2.25,T,0.10,U*hh", 1, {R"({"pitch":1.5,"roll":2.25,"heave":0.1})"}},
      {"$PHTRH,1.50,p,2.25,b,0.10,o*hh", 1, {R"({"pitch":1.5,"roll":2.25,"heave":0.1})"}},
      {"$PHTRH,-1.50,P,-2.25,B,-0.10,O*hh", 1, {R"({"pitch":1.5,"roll":2.25,"heave":0.1})"}},
      // A letter is one character of the line, whatever it is.
      {"$PHTRH,1.50,\xC3\xA9,2.25, ,0.10,,*hh", 1, {R"({"pitch":1.5,"roll":2.25,"heave":0.1})"}},
  });
  RunRows<CSD_OctansPR>({
      {"$PHTRO,1.50,P,2.25,B*00", 1, {kAttitude}},
      {"$PHTRO,1.50,M,2.25,T*00", 1, {R"({"pitch":1.5,"roll":2.25})"}},
      {"$PHTRO,1.50,B,2.25,P*00", 1, {R"({"pitch":1.5,"roll":2.25})"}},
  });
}

TEST(Octans, ASentenceCountsOnlyWithEveryFieldAndAChecksumText) {
  const std::vector<std::string> rejected = {
      "$HEHDT,90.0,T",                  // no checksum
      "$HEHDT,90.0,T*",                 // nothing after the asterisk
      "$HEHDT,90.0,T*\r",               // only a blank after it
      "$HEHDT,90.0,T*0123456789",       // ten characters do not fit
      "$HEHDT,90.0,M*16",
      "$HEHDT,,T*16",
      "$PHINF,*75",
      "$PHINF,zz*75",
      "$PHINF,00000000",
      "$PHTRH,1.50,P,2.25,B,0.10*15",   // heave letter missing
      "$PHTRH,1.50,P,2.25,B,0.10,O",
      "$PHTRO,1.50,P,2.25*42",
      "$PHTRO,1.50,P,x,B*42",
      "$PHLIN,0.10,-0.20*4C",
      "$PHLIN,0.10,-0.20,0.30",
      "$PHSPD,1.0,0.0,*5C",
      "$PHSPD,1.0,0.0,0.0*",
      "$phtrh,1.50,P,2.25,B,0.10,O*15",
      "",
  };
  for (const auto& d : kDecoders) {
    for (const auto& msg : rejected) {
      const auto decoder = d.make();
      const auto out = decode_case::DecodeOne(*decoder, msg);
      EXPECT_EQ(out.result, 0) << d.name << " " << msg;
      EXPECT_TRUE(out.records.empty()) << d.name << " " << msg;
    }
  }
  // Nine checksum characters fit; what they are does not matter.
  RunRows<CSD_OctansHead>({
      {"$HEHDT,90.0,T*012345678", 1, {kHeadingRecord}},
      {"$HEHDT,90.0,T*zz\r", 1, {kHeadingRecord}},
      {"$PHINF,1A2B*zz", 2, {}},
  });
}

TEST(Octans, SpeedsAreRotatedByTheLastHeading) {
  for (const char* name : {"OctansAll", "OctansLinear"}) {
    const auto decoder = CRuntimeClass::CreateObject(std::string("CSD_") + name);
    ASSERT_NE(decoder, nullptr) << name;
    auto& d = *static_cast<CDecode*>(decoder);
    decode_case::DecodeOne(d, kHdt);
    const auto east = decode_case::DecodeOne(d, kSpd);
    decode_case::DecodeOne(d, "$HEHDT,30.0,T*00");
    const auto thirty = decode_case::DecodeOne(d, "$PHSPD,0.0,2.0,0.5*00");
    delete decoder;
    ASSERT_EQ(east.records.size(), 1u) << name;
    ASSERT_EQ(thirty.records.size(), 1u) << name;
    const auto& e = east.records[0];
    EXPECT_EQ(e["pos"], nlohmann::json::parse("[1,0,0]")) << name;
    EXPECT_NEAR(e["pos2"][0].get<double>(), 1.0, 1e-12) << name;
    EXPECT_NEAR(e["pos2"][1].get<double>(), 0.0, 1e-12) << name;
    EXPECT_EQ(e["pos2"][2], 0) << name;
    // (x sin h - y cos h, x cos h + y sin h, z) with x 0, y 2, h 30 degrees
    const auto& t = thirty.records[0];
    EXPECT_NEAR(t["pos2"][0].get<double>(), -std::sqrt(3.0), 1e-12) << name;
    EXPECT_NEAR(t["pos2"][1].get<double>(), 1.0, 1e-12) << name;
    EXPECT_EQ(t["pos2"][2], 0.5) << name;
  }
}

TEST(Octans, LinearMotionCarriesTheAttitudeOfTheLastPhtro) {
  CSD_OctansAll all;
  decode_case::DecodeOne(all, kTrh);  // an attitude with heave is sent, not kept
  EXPECT_EQ(decode_case::DecodeOne(all, kLin).records[0]["pitch"], 0);
  EXPECT_EQ(decode_case::DecodeOne(all, kTro).result, 4);
  const auto after = decode_case::DecodeOne(all, kLin);
  ASSERT_EQ(after.records.size(), 1u);
  decode_case::ExpectRecords(after.records, {R"({"pitch":-1.5,"roll":-2.25,"surge":0.1,"sway":-0.2,"heave":0.3})"},
                             "OctansAll");
  // OctansLinear takes no attitude sentence, so its roll and pitch stay 0.
  CSD_OctansLinear linear;
  EXPECT_EQ(decode_case::DecodeOne(linear, kTro).result, 0);
  decode_case::ExpectRecords(decode_case::DecodeOne(linear, kLin).records, {kLinear}, "OctansLinear");
}

TEST(Octans, PortShowsACompleteReadingWhenEveryPartCameBeforeTheHeading) {
  using decode_case::LightsThroughPort;
  EXPECT_EQ(LightsThroughPort("OctansAll", {kHdt, kInf, kTrh, kTro, kLin, kSpd, kHdt, kInf, kTrh, kTro, kLin, kHdt}),
            (std::vector<int>{1, 1, 1, 1, 1, 1, 2, 2, 2, 2, 2, 1}));
  EXPECT_EQ(LightsThroughPort("OctansAll", {kHdt, kSpd, kLin, kTro, kTrh, kInf, kHdt, "$HEHDT,1*"}),
            (std::vector<int>{1, 1, 1, 1, 1, 1, 2, 0}));
  EXPECT_EQ(LightsThroughPort("OctansHead", {kHdt, kInf, kHdt, kHdt, kInf, kInf, kHdt}),
            (std::vector<int>{1, 1, 2, 1, 1, 1, 2}));
  // The port starts with part 1 counted, so the first heading can complete.
  EXPECT_EQ(LightsThroughPort("OctansGHPR", {kInf, kTrh, kHdt, kTrh, kHdt}), (std::vector<int>{3, 3, 2, 2, 1}));
  EXPECT_EQ(LightsThroughPort("OctansLinear", {kHdt, kLin, kSpd, kHdt, kSpd, kHdt}),
            (std::vector<int>{1, 1, 1, 2, 2, 1}));
  EXPECT_EQ(LightsThroughPort("OctansHPR", {kTrh, kTrh, kTro}), (std::vector<int>{2, 2, 0}));
  EXPECT_EQ(LightsThroughPort("OctansPR", {kTro, kTrh}), (std::vector<int>{2, 0}));
}
