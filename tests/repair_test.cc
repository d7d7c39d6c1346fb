// The whole repair, from a damaged disc to a file equal to the intact one, on
// files and damage drawn at random. A failure names its seed, and
// --gtest_filter with VALMERK_SEED=N runs that case alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "test_util.h"

namespace {

constexpr int BLOCK = 32768;

struct Damage {
  int size;
  std::vector<BadDisc::Range> bad;
};

Damage draw(unsigned seed) {
  std::mt19937 random(seed);
  auto uniform = [&](long low, long high) { return std::uniform_int_distribution<long>(low, high)(random); };
  Damage damage;
  damage.size = static_cast<int>(uniform(0, 2) == 0 ? uniform(1, 3 * BLOCK) : uniform(1, 4 << 20));
  const long size = damage.size;
  const long last_block = (size - 1) / BLOCK * BLOCK;
  switch (uniform(0, 5)) {
    case 0:  // none
      break;
    case 1:  // the first block
      damage.bad.push_back({uniform(0, std::min(size, long{BLOCK}) - 1), 0});
      break;
    case 2:  // the last, often short, block
      damage.bad.push_back({uniform(last_block, size - 1), 0});
      break;
    case 3:  // everything
      damage.bad.push_back({0, size});
      break;
    default:  // a few ranges anywhere, some spanning blocks
      for (long n = uniform(1, 6); n > 0; --n) {
        const long start = uniform(0, size - 1);
        damage.bad.push_back({start, std::min(size, start + uniform(1, 3 * BLOCK))});
      }
  }
  for (BadDisc::Range& range : damage.bad)
    if (range.end == 0) range.end = std::min(size, range.start + uniform(1, 2 * BLOCK));
  return damage;
}

// The delta holds its header and end, and each failed block with its header.
long expected_delta_size(const Damage& damage) {
  long size = 8;
  for (long pos = 0; pos < damage.size; pos += BLOCK) {
    const long end = std::min<long>(pos + BLOCK, damage.size);
    const bool failed = std::any_of(damage.bad.begin(), damage.bad.end(),
                                    [&](const BadDisc::Range& range) { return range.start < end && range.end > pos; });
    if (failed) size += 8 + end - pos;
  }
  return size;
}

void repair(unsigned seed) {
  SKIP_ON_WINDOWS("it needs a damaged disc, which is Linux's FUSE");
  const Damage damage = draw(seed);
  TempDir dir;
  const std::string intact = sample_bytes(static_cast<size_t>(damage.size), seed);
  write_file(dir / "disc.iso", intact);
  BadDisc damaged(dir / "disc.iso", damage.bad);
  SKIP_UNLESS_MOUNTED(damaged);

  ASSERT_EQ(run_valmerk({"--copy", damaged.file(), dir / "salvaged", dir / "log"}).status, 0);
  ASSERT_EQ(run_valmerk({"--delta", dir / "disc.iso", dir / "log", dir / "delta"}).status, 0);
  ASSERT_EQ(run_valmerk({"--patch", dir / "salvaged", dir / "delta"}).status, 0);
  ASSERT_EQ(std::filesystem::file_size(dir / "delta"), static_cast<std::uintmax_t>(expected_delta_size(damage)));
  ASSERT_TRUE(read_file(dir / "salvaged") == intact);
}

TEST(Repair, RandomDamageIsRepairedExactly) {
  if (const char* seed = std::getenv("VALMERK_SEED")) {
    repair(static_cast<unsigned>(std::strtoul(seed, nullptr, 10)));
    return;
  }
  for (unsigned seed = 1; seed <= 300; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed) + " (rerun with VALMERK_SEED=" + std::to_string(seed) + ")");
    repair(seed);
    if (HasFatalFailure() || IsSkipped()) return;
  }
}

// The home platform writes its logs with CR LF line endings.
TEST(Repair, LogWithCrLfRepairsTheSameFile) {
  SKIP_ON_WINDOWS("it needs a damaged disc, which is Linux's FUSE");
  TempDir dir;
  const std::string intact = sample_bytes(5 * BLOCK + 17, 99);
  write_file(dir / "disc.iso", intact);
  BadDisc damaged(dir / "disc.iso", {{0, 1}, {3 * BLOCK + 9, 4 * BLOCK + 2}, {5 * BLOCK + 16, 5 * BLOCK + 17}});
  SKIP_UNLESS_MOUNTED(damaged);
  ASSERT_EQ(run_valmerk({"--copy", damaged.file(), dir / "salvaged", dir / "log"}).status, 0);
  std::string crlf_log;
  for (const char c : read_file(dir / "log")) crlf_log += c == '\n' ? std::string("\r\n") : std::string(1, c);
  EXPECT_EQ(crlf_log, "0\r\n98304\r\n131072\r\n163840\r\n--eof--\r\n");
  write_file(dir / "log", crlf_log);
  ASSERT_EQ(run_valmerk({"--delta", dir / "disc.iso", dir / "log", dir / "delta"}).status, 0);
  ASSERT_EQ(run_valmerk({"--patch", dir / "salvaged", dir / "delta"}).status, 0);
  EXPECT_TRUE(read_file(dir / "salvaged") == intact);
}

}  // namespace
