#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "test_util.h"

namespace {

constexpr int BLOCK = 32768;

std::string created(const std::string& delta) { return "delta file '" + delta + "' created succesfully\n"; }

struct DeltaCase {
  const char* name;
  int in_size;
  std::string log;
  std::vector<std::pair<int, int>> records;  // offset and block length, taken from IN
  std::string out;                           // what --delta prints; empty for success
  bool ended;
};

void PrintTo(const DeltaCase& row, std::ostream* os) { *os << row.name; }

const std::string UNEXPECTED_LINE_2 = "fatal: bad log file (unexpected contents in line 2)\n";

const DeltaCase kDeltaCases[] = {
    {"marker_only", 300, "--eof--\n", {}, "", true},
    {"first_block_of_a_small_file", 300, "0\n--eof--\n", {{0, 300}}, "", true},
    {"first_block", 2 * BLOCK, "0\n--eof--\n", {{0, BLOCK}}, "", true},
    {"short_last_block", 3 * BLOCK + 10, "98304\n--eof--\n", {{3 * BLOCK, 10}}, "", true},
    {"entry_at_the_end", 3 * BLOCK + 10, "98314\n--eof--\n", {{3 * BLOCK + 10, 0}}, "", true},
    {"unaligned_entry", 2 * BLOCK, "1\n--eof--\n", {{1, BLOCK}}, "", true},
    {"several_and_duplicates",
     4 * BLOCK,
     "65536\n0\n65536\n--eof--\n",
     {{65536, BLOCK}, {0, BLOCK}, {65536, BLOCK}},
     "",
     true},
    {"crlf", 4 * BLOCK, "0\r\n65536\r\n--eof--\r\n", {{0, BLOCK}, {65536, BLOCK}}, "", true},
    {"no_marker", 4 * BLOCK, "0\n65536", {{0, BLOCK}, {65536, BLOCK}}, "", true},
    {"past_the_end",
     3 * BLOCK + 10,
     "0\n98315\n--eof--\n",
     {{0, BLOCK}},
     "fatal: bad log file (offset 98315 greater than IN length 98314)\n",
     false},
    {"negative", 100, "-512\n", {}, "fatal: bad log file (offset -512 greater than IN length 100)\n", false},
    {"clamped",
     100,
     "99999999999\n",
     {},
     "fatal: bad log file (offset 2147483647 greater than IN length 100)\n",
     false},
    {"bad_line", 2 * BLOCK, "0\nblock 5\n--eof--\n", {{0, BLOCK}}, UNEXPECTED_LINE_2, false},
};

class DeltaCommandTest : public testing::TestWithParam<DeltaCase> {};

TEST_P(DeltaCommandTest, BuildsTheDelta) {
  const DeltaCase& row = GetParam();
  TempDir dir;
  const std::string in = sample_bytes(static_cast<size_t>(row.in_size), 11);
  write_file(dir / "in", in);
  write_file(dir / "log", row.log);
  const Outcome outcome = run_valmerk({"--delta", dir / "in", dir / "log", dir / "delta"});
  EXPECT_EQ(outcome.out, row.out.empty() ? created(dir / "delta") : row.out);
  EXPECT_EQ(outcome.err, "");
  EXPECT_EQ(outcome.status, row.out.empty() ? 0 : 1);
  std::vector<std::pair<int, std::string>> records;
  for (const auto& [offset, length] : row.records)
    records.emplace_back(offset, in.substr(static_cast<size_t>(offset), static_cast<size_t>(length)));
  EXPECT_EQ(read_file(dir / "delta"), delta_bytes(row.in_size, records, row.ended));
  EXPECT_EQ(read_file(dir / "in"), in);
}

INSTANTIATE_TEST_SUITE_P(Table, DeltaCommandTest, testing::ValuesIn(kDeltaCases),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(DeltaCommand, OpenFailuresCreateNoDelta) {
  TempDir dir;
  write_file(dir / "in", "intact");
  write_file(dir / "log", "--eof--\n");
  const std::vector<std::vector<std::string>> cases = {
      {"missing", "log", "delta", "missing"},
      {"in", "missing", "delta", "missing"},
      {"in", "log", "no/delta", "no/delta"},
  };
  for (const auto& names : cases) {
    const Outcome outcome = run_valmerk({"--delta", dir / names[0], dir / names[1], dir / names[2]});
    EXPECT_EQ(outcome.out, "fatal: failed to open '" + dir / names[3] + "'\n");
    EXPECT_EQ(outcome.status, 1);
    EXPECT_FALSE(exists(dir / "delta"));
  }
}

TEST(DeltaCommand, RefusesToOverwriteInOrLog) {
  const std::vector<std::vector<std::string>> cases = {
      {"in", "log", "in"}, {"in", "log", "log"}, {"in", "log", "in.hard"}, {"in", "log", "log.soft"}};
  for (const auto& names : cases) {
    TempDir dir;
    const std::string in = sample_bytes(BLOCK, 12);
    write_file(dir / "in", in);
    write_file(dir / "log", "0\n--eof--\n");
    std::filesystem::create_hard_link(dir / "in", dir / "in.hard");
    std::filesystem::create_symlink("log", dir / "log.soft");
    const Outcome outcome = run_valmerk({"--delta", dir / names[0], dir / names[1], dir / names[2]});
    const std::string& same = names[2][0] == 'i' ? names[0] : names[1];
    EXPECT_EQ(outcome.out, "fatal: '" + dir / same + "' and '" + dir / names[2] + "' are the same file\n");
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(read_file(dir / "in"), in);
    EXPECT_EQ(read_file(dir / "log"), "0\n--eof--\n");
  }
}

// IN shrinks while --delta waits for the log, so the seek to an entry that
// was inside IN fails.
TEST(DeltaCommand, FailedSeekIsFatal) {
  TempDir dir;
  write_file(dir / "image", sample_bytes(8 * BLOCK, 15));
  LoopDevice loop(dir / "image");
  SKIP_UNLESS_MOUNTED(loop);
  ASSERT_EQ(mkfifo((dir / "log").c_str(), 0600), 0);
  const Outcome outcome =
      run_valmerk_feeding({"--delta", loop.device(), dir / "log", dir / "delta"}, dir / "log", [&](int fd) {
        loop.shrink(BLOCK);
        const std::string log = "196608\n--eof--\n";
        ASSERT_EQ(write(fd, log.data(), log.size()), 15);
      });
  EXPECT_EQ(outcome.out, "fatal: failed to seek to offset 196608 in '" + loop.device() + "'\n");
  EXPECT_EQ(outcome.status, 1);
}

}  // namespace
