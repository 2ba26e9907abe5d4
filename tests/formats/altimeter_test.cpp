// TSS Altimeter 1 and Ulvertech Bathy markers.
#include <gtest/gtest.h>

#include "format_test_support.h"
#include "formats/altimeter.h"
#include "host/records.h"

TEST(TssAltimeter1, SixCharactersColumnsOneToFive) {
  ExpectValueCases<CSD_TSSAltimeter1>(
      {
          {" 12.34", 1, 12.34},
          {"A-1.25", 1, -1.25},
          {"999999", 1, 99999.0},      // column 0 is not read
          {"°12.34", 1, 12.34},        // six characters, seven bytes
          {" 00.00", 1, std::nullopt},  // no bottom: accepted, nothing sent
          {" 0    ", 1, std::nullopt},
          {" 12.3", 0, std::nullopt},
          {" 12.34\r", 0, std::nullopt},
          {" 12.345", 0, std::nullopt},
          {" abcde", 0, std::nullopt},
          {"      ", 0, std::nullopt},
          {"", 0, std::nullopt},
      },
      kSnsrMarker, "marker");
}

TEST(UlvertechBathy, TenCharactersHundredthsInColumnsSixToNine) {
  ExpectValueCases<CSD_UlvertechBathy>(
      {
          {"B0001 1234", 1, 12.34},
          {"xxxxxx  50", 1, 0.5},
          {"99999 -050", 1, -0.5},
          {"°°°°°°1234", 1, 12.34},        // ten characters, sixteen bytes
          {"B0001 0000", 1, std::nullopt},  // zero: accepted, nothing sent
          {"B0001 12", 0, std::nullopt},
          {"B0001 1234\r", 0, std::nullopt},
          {"B0001 abcd", 0, std::nullopt},
          {"1234567890", 1, 78.9},
          {"", 0, std::nullopt},
      },
      kSnsrMarker, "marker");
}
