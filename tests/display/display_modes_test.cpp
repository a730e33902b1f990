#include "display/display_modes.h"

#include <gtest/gtest.h>

#include <cstring>

#include "fakes/fake_os.h"

namespace vantrel {
namespace {

using testing::FakeOs;

const uint8_t* Bytes(const DevMode& record) { return reinterpret_cast<const uint8_t*>(&record); }

TEST(ReadCurrentMode, AsksWithAZeroFilledRecordOfDeclaredSizeAndKeeps16BitsOfTheDepth) {
  FakeOs os;
  os.mode.alignment = 0x0001;  // the high word of the 32-bit dmBitsPerPel the system writes
  DevMode read;
  EXPECT_TRUE(ReadCurrentMode(os, read));
  DevMode expected;
  std::memset(&expected, 0, sizeof expected);
  expected.dmSize = 154;
  ASSERT_EQ(1u, os.readRecords.size());
  EXPECT_EQ(0, std::memcmp(&expected, &os.readRecords[0], sizeof expected));
  EXPECT_EQ(124, read.dmSize) << "the size the system wrote back is kept";
  EXPECT_EQ(32, read.dmBitsPerPel);
  EXPECT_EQ(0, Bytes(read)[106] | Bytes(read)[107]);
  os.readFails = true;
  EXPECT_EQ(std::nullopt, CurrentModeTriple(os)) << "a failed read names no mode";
}

// What the read returned goes back unchanged but for width, height and rate: the colour
// depth, the flags, dmFields, dmSize and the text fields. The mode in force is no
// exception: tested, applied and stored again.
TEST(TestAndChangeMode, HandTheCurrentModeBackWithOnlyWidthHeightAndRateReplaced) {
  FakeOs os;
  os.mode.dmBitsPerPel = 16;
  DevMode read;
  ReadCurrentMode(os, read);
  EXPECT_EQ(win::kDispChangeSuccessful, TestMode(os, 800, 600, 75));
  ChangeMode(os, 1280, 960, 75);
  ChangeMode(os, 1280, 960, 75);
  std::vector<uint32_t> flags;
  for (const auto& [handed, flag] : os.changeCalls) {
    flags.push_back(flag);
    EXPECT_EQ(0, std::memcmp(Bytes(read), Bytes(handed), offsetof(DevMode, dmPelsWidth)));
    EXPECT_EQ(read.dmDisplayFlags, handed.dmDisplayFlags);
    EXPECT_EQ(0, std::memcmp(Bytes(read) + offsetof(DevMode, dmICMMethod), Bytes(handed) + offsetof(DevMode, dmICMMethod),
                             sizeof(DevMode) - offsetof(DevMode, dmICMMethod)));
  }
  ASSERT_EQ((std::vector<uint32_t>{win::kCdsTest, win::kCdsTest, win::kCdsUpdateRegistry, win::kCdsTest,
                                   win::kCdsUpdateRegistry}), flags);
  EXPECT_EQ(0, std::memcmp(&os.changeCalls[1].record, &os.changeCalls[2].record, sizeof(DevMode)));
  const DevMode& test = os.changeCalls[0].record;
  EXPECT_EQ((ModeTriple{800, 600, 75}), (ModeTriple{test.dmPelsWidth, test.dmPelsHeight, test.dmDisplayFrequency}));
  EXPECT_EQ((ModeTriple{1280, 960, 75}), CurrentModeTriple(os)) << "applied";
  EXPECT_TRUE(os.messageBoxes.empty());
}

TEST(TestAndChangeMode, EveryCodeButZeroIsARefusalThatTestModeOnlyPassesOn) {
  for (int32_t code : {win::kDispChangeRestart, win::kDispChangeFailed, win::kDispChangeBadMode, -5}) {
    FakeOs os;
    os.defaultTestCode = code;
    EXPECT_EQ(code, TestMode(os, 1600, 1200, 100));
    EXPECT_TRUE(os.messageBoxes.empty());
    ChangeMode(os, 640, 480, 85);
    EXPECT_EQ(2u, os.changeCalls.size()) << "tested, never applied";
    ASSERT_EQ(1u, os.messageBoxes.size());
    EXPECT_EQ("That resolution is not supported!", os.messageBoxes[0].text);
    EXPECT_EQ("Problem!", os.messageBoxes[0].caption);
    EXPECT_EQ(win::kMbOk, os.messageBoxes[0].style);
  }
}

// Answers that must not pass for success: a change that passed its test but failed when
// applied, one Windows keeps for the next restart, and any request without a current
// mode, which would name no field to change.
TEST(TestAndChangeMode, AFailedApplyARestartAndAFailedReadAreToldAndNothingChanges) {
  for (const auto& [applyCode, told] : {std::pair{win::kDispChangeFailed, kModeChangeFailedText},
                                        {win::kDispChangeRestart, kModeAfterRestartText}}) {
    FakeOs os;
    os.applyCode = applyCode;
    ChangeMode(os, 800, 600, 60);
    ASSERT_EQ(1u, os.messageBoxes.size());
    EXPECT_EQ(told, os.messageBoxes[0].text);
    EXPECT_EQ((ModeTriple{1024, 768, 60}), CurrentModeTriple(os));
  }
  FakeOs os;
  os.readFails = true;
  os.defaultTestCode = win::kDispChangeBadMode;
  EXPECT_EQ(win::kDispChangeFailed, TestMode(os, 640, 480, 60)) << "kept by the scan, like any mode it cannot judge";
  ChangeMode(os, 640, 480, 60);
  EXPECT_TRUE(os.changeCalls.empty()) << "nothing is asked with a record that names no field";
  ASSERT_EQ(1u, os.messageBoxes.size());
  EXPECT_EQ(kModeChangeFailedText, os.messageBoxes[0].text);
}

}  // namespace
}  // namespace vantrel
