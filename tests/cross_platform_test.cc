// Logs and deltas travel between the damaged disc's machine and the intact
// copy's, and either may run Windows. Run against the Windows build, these
// tests hand what one build writes to the other.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "test_util.h"

namespace {

constexpr int BLOCK = 32768;

class CrossPlatformTest : public testing::Test {
 protected:
  void SetUp() override {
    if (!testing_windows()) GTEST_SKIP() << "needs the Windows build: set VALMERK_WINDOWS_EXE";
    write_file(dir / "intact.iso", intact);
    // Whole blocks fail from their first byte, so both C libraries deliver none of them.
    disc = std::make_unique<BadDisc>(dir / "intact.iso",
                                     std::vector<BadDisc::Range>{{BLOCK, 2 * BLOCK}, {3 * BLOCK, 4 * BLOCK}});
    SKIP_UNLESS_MOUNTED(*disc);
  }

  std::string expected_delta() const {
    return delta_bytes(static_cast<int>(intact.size()),
                       {{BLOCK, intact.substr(BLOCK, BLOCK)}, {3 * BLOCK, intact.substr(3 * BLOCK, BLOCK)}});
  }

  TempDir dir;
  const std::string intact = sample_bytes(5 * BLOCK + 7, 41);
  std::unique_ptr<BadDisc> disc;
};

TEST_F(CrossPlatformTest, WindowsLogHasCrLfAndLinuxReadsIt) {
  ASSERT_EQ(run_valmerk({"--copy", disc->file(), dir / "salvaged", dir / "log"}).status, 0);
  EXPECT_EQ(read_file(dir / "log"), "32768\r\n98304\r\n--eof--\r\n");
  ASSERT_EQ(run_native_valmerk({"--delta", dir / "intact.iso", dir / "log", dir / "delta"}).status, 0);
  EXPECT_TRUE(read_file(dir / "delta") == expected_delta());
}

TEST_F(CrossPlatformTest, WindowsReadsALinuxLog) {
  ASSERT_EQ(run_native_valmerk({"--copy", disc->file(), dir / "salvaged", dir / "log"}).status, 0);
  EXPECT_EQ(read_file(dir / "log"), "32768\n98304\n--eof--\n");
  ASSERT_EQ(run_valmerk({"--delta", dir / "intact.iso", dir / "log", dir / "delta"}).status, 0);
  EXPECT_TRUE(read_file(dir / "delta") == expected_delta());
}

TEST_F(CrossPlatformTest, DeltasPatchOnTheOtherPlatform) {
  ASSERT_EQ(run_native_valmerk({"--copy", disc->file(), dir / "linux.iso", dir / "linux.log"}).status, 0);
  ASSERT_EQ(run_valmerk({"--copy", disc->file(), dir / "windows.iso", dir / "windows.log"}).status, 0);
  ASSERT_EQ(run_valmerk({"--delta", dir / "intact.iso", dir / "linux.log", dir / "from-windows"}).status, 0);
  ASSERT_EQ(run_native_valmerk({"--delta", dir / "intact.iso", dir / "windows.log", dir / "from-linux"}).status, 0);

  EXPECT_EQ(run_native_valmerk({"--patch", dir / "linux.iso", dir / "from-windows"}).status, 0);
  EXPECT_EQ(run_valmerk({"--patch", dir / "windows.iso", dir / "from-linux"}).status, 0);
  EXPECT_TRUE(read_file(dir / "linux.iso") == intact);
  EXPECT_TRUE(read_file(dir / "windows.iso") == intact);
}

}  // namespace
