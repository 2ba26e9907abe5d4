#include "support/test_seed.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

constexpr std::uint64_t kDefaultTestSeed = 20261205u;

// Prints the seed after every failed test, so that the run can be repeated.
class SeedOnFailure : public ::testing::EmptyTestEventListener {
  void OnTestEnd(const ::testing::TestInfo& info) override {
    if (info.result() && info.result()->Failed()) {
      std::printf("[   SEED   ] NYX_TEST_SEED=%llu\n", static_cast<unsigned long long>(TestSeed()));
    }
  }
};

const bool kSeedListenerAdded = [] {
  ::testing::UnitTest::GetInstance()->listeners().Append(new SeedOnFailure);
  return true;
}();

}  // namespace

std::uint64_t TestSeed() {
  static const std::uint64_t seed = [] {
    const char* text = std::getenv("NYX_TEST_SEED");
    return text && *text ? std::strtoull(text, nullptr, 0) : kDefaultTestSeed;
  }();
  return seed;
}
