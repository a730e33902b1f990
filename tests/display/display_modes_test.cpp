#include "display/display_modes.h"

#include <gtest/gtest.h>

#include <cstring>

#include "fakes/fake_os.h"

namespace vantrel {
namespace {

using testing::FakeOs;

const uint8_t* Bytes(const DevMode& record) { return reinterpret_cast<const uint8_t*>(&record); }

// The parts of a record a request must hand back exactly as the read returned them.
void ExpectCarriedThrough(const DevMode& read, const DevMode& handed) {
  EXPECT_EQ(0, std::memcmp(Bytes(read), Bytes(handed), offsetof(DevMode, dmPelsWidth)));
  EXPECT_EQ(read.dmDisplayFlags, handed.dmDisplayFlags);
  EXPECT_EQ(0, std::memcmp(Bytes(read) + offsetof(DevMode, dmICMMethod),
                           Bytes(handed) + offsetof(DevMode, dmICMMethod),
                           sizeof(DevMode) - offsetof(DevMode, dmICMMethod)));
}

TEST(ReadCurrentMode, AsksWithAZeroFilledRecordOfDeclaredSize) {
  FakeOs os;
  const DevMode read = ReadCurrentMode(os);
  ASSERT_EQ(1u, os.readRecords.size());
  DevMode expected;
  std::memset(&expected, 0, sizeof expected);
  expected.dmSize = 154;
  EXPECT_EQ(0, std::memcmp(&expected, &os.readRecords[0], sizeof expected));
  EXPECT_EQ(1024, read.dmPelsWidth);
  EXPECT_EQ(124, read.dmSize) << "the size the system wrote back is kept";
}

TEST(ReadCurrentMode, KeepsOnlyTheLowWordOfThe32BitColourDepth) {
  FakeOs os;
  os.mode.alignment = 0x0001;  // the high word of a 32-bit dmBitsPerPel written by the system
  const DevMode read = ReadCurrentMode(os);
  EXPECT_EQ(32, read.dmBitsPerPel);
  EXPECT_EQ(0, Bytes(read)[106]);
  EXPECT_EQ(0, Bytes(read)[107]);
}

TEST(ReadCurrentMode, FailedReadYieldsZeros) {
  FakeOs os;
  os.readFails = true;
  EXPECT_EQ((ModeTriple{0, 0, 0}), CurrentModeTriple(os));
}

TEST(TestMode, HandsTheCurrentModeBackWithOnlyWidthHeightAndRateReplaced) {
  FakeOs os;
  os.mode.alignment = 0x0001;
  os.mode.dmBitsPerPel = 16;
  const DevMode read = ReadCurrentMode(os);
  TestMode(os, 800, 600, 75);
  ASSERT_EQ(1u, os.changeCalls.size());
  const auto& [handed, flags] = os.changeCalls[0];
  EXPECT_EQ(win::kCdsTest, flags);
  EXPECT_EQ(800, handed.dmPelsWidth);
  EXPECT_EQ(600, handed.dmPelsHeight);
  EXPECT_EQ(75, handed.dmDisplayFrequency);
  EXPECT_EQ(124, handed.dmSize);
  EXPECT_EQ(0x7c00a0, handed.dmFields) << "never set by the program";
  EXPECT_EQ(16, handed.dmBitsPerPel);
  ExpectCarriedThrough(read, handed);
}

TEST(TestMode, PassesEveryCodeThroughAndNeverShowsAnything) {
  for (int32_t code : {0, 1, -1, -2, -3, -5}) {
    FakeOs os;
    os.defaultTestCode = code;
    EXPECT_EQ(code, TestMode(os, 1600, 1200, 100));
    EXPECT_TRUE(os.messageBoxes.empty());
    EXPECT_EQ(1u, os.changeCalls.size()) << "a test never applies";
  }
}

TEST(ChangeMode, AppliesAnAcceptedModeWithTheSameRecordAndStoresIt) {
  FakeOs os;
  ChangeMode(os, 1280, 960, 75);
  ASSERT_EQ(2u, os.changeCalls.size());
  EXPECT_EQ(win::kCdsTest, os.changeCalls[0].flags);
  EXPECT_EQ(win::kCdsUpdateRegistry, os.changeCalls[1].flags);
  EXPECT_EQ(0, std::memcmp(&os.changeCalls[0].record, &os.changeCalls[1].record, sizeof(DevMode)));
  EXPECT_EQ((ModeTriple{1280, 960, 75}), CurrentModeTriple(os));
  EXPECT_TRUE(os.messageBoxes.empty());
}

TEST(ChangeMode, AppliesTheModeAlreadyInForceAgain) {
  FakeOs os;
  ChangeMode(os, 1024, 768, 60);
  EXPECT_EQ(2u, os.changeCalls.size());
}

TEST(ChangeMode, RefusesEveryCodeButZeroWithoutApplying) {
  for (int32_t code : {win::kDispChangeRestart, win::kDispChangeFailed, win::kDispChangeBadMode}) {
    FakeOs os;
    os.defaultTestCode = code;
    ChangeMode(os, 640, 480, 85);
    EXPECT_EQ(1u, os.changeCalls.size());
    ASSERT_EQ(1u, os.messageBoxes.size());
    EXPECT_EQ("That resolution is not supported!", os.messageBoxes[0].text);
    EXPECT_EQ("Problem!", os.messageBoxes[0].caption);
    EXPECT_EQ(0u, os.messageBoxes[0].style);
    EXPECT_EQ((ModeTriple{1024, 768, 60}), CurrentModeTriple(os));
  }
}

// A change that passed its test can still fail when applied; that must not pass silently.
TEST(ChangeMode, ReportsAFailedApply) {
  FakeOs os;
  os.applyCode = win::kDispChangeFailed;
  ChangeMode(os, 800, 600, 60);
  ASSERT_EQ(1u, os.messageBoxes.size());
  EXPECT_EQ(kModeChangeFailedText, os.messageBoxes[0].text);
  EXPECT_EQ("Problem!", os.messageBoxes[0].caption);
  EXPECT_EQ(win::kMbOk, os.messageBoxes[0].style);
}

TEST(ChangeMode, FailedReadStillRequestsTheModeOnAZeroRecord) {
  FakeOs os;
  os.readFails = true;
  ChangeMode(os, 800, 600, 60);
  const DevMode& handed = os.changeCalls.at(0).record;
  EXPECT_EQ(154, handed.dmSize);
  EXPECT_EQ(0, handed.dmFields);
  EXPECT_EQ(800, handed.dmPelsWidth);
}

}  // namespace
}  // namespace vantrel
