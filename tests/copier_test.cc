#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "test_util.h"

namespace {

constexpr int BLOCK = 32768;

TEST(Copy, CopiesWholeFiles) {
  for (const int size : {0, 1, BLOCK - 1, BLOCK, 2 * BLOCK, 2 * BLOCK + 1}) {
    TempDir dir;
    const std::string in = sample_bytes(static_cast<size_t>(size), 1);
    write_file(dir / "in", in);
    const Outcome outcome = run_valmerk({"--copy", dir / "in", dir / "out", dir / "log"});
    EXPECT_EQ(outcome.out, copy_transcript(dir / "in", size, {})) << size;
    EXPECT_EQ(outcome.err, "");
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(read_file(dir / "out"), in) << size;
    EXPECT_EQ(read_log(dir / "log"), "--eof--\n");
  }
}

TEST(Copy, TruncatesOldOutAndLog) {
  TempDir dir;
  write_file(dir / "in", "new");
  write_file(dir / "out", sample_bytes(100000, 2));
  write_file(dir / "log", "0\n32768\n--eof--\n");
  EXPECT_EQ(run_valmerk({"--copy", dir / "in", dir / "out", dir / "log"}).status, 0);
  EXPECT_EQ(read_file(dir / "out"), "new");
  EXPECT_EQ(read_log(dir / "log"), "--eof--\n");
}

// Each row names a file that can't be opened; the files after it must not be
// created, and files that stood there before keep their contents.
struct OpenFailure {
  const char* name;
  std::vector<std::string> args;  // in, out, log, relative to a fresh directory
  std::string failing;
  bool out_created;
};

void PrintTo(const OpenFailure& row, std::ostream* os) { *os << row.name; }

const OpenFailure kOpenFailures[] = {
    {"in_missing", {"missing", "out", "log"}, "missing", false},
    {"out_in_missing_directory", {"in", "no/out", "log"}, "no/out", false},
    {"log_in_missing_directory", {"in", "out", "no/log"}, "no/log", true},
};

class CopyOpenFailureTest : public testing::TestWithParam<OpenFailure> {};

TEST_P(CopyOpenFailureTest, StopsBeforeTheLaterFiles) {
  TempDir dir;
  write_file(dir / "in", "data");
  const std::vector<std::string>& names = GetParam().args;
  const Outcome outcome = run_valmerk({"--copy", dir / names[0], dir / names[1], dir / names[2]});
  EXPECT_EQ(outcome.out, "fatal: failed to open '" + dir / GetParam().failing + "'\n");
  EXPECT_EQ(outcome.err, "");
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(exists(dir / "out"), GetParam().out_created);
  EXPECT_FALSE(exists(dir / "log"));
  EXPECT_EQ(read_file(dir / "in"), "data");
}

INSTANTIATE_TEST_SUITE_P(Table, CopyOpenFailureTest, testing::ValuesIn(kOpenFailures),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(Copy, LargestInputIsCopiedWhole) {
  TempDir dir;
  make_sparse(dir / "in", 2147483647u);
  const Outcome outcome = run_valmerk({"--copy", dir / "in", "/dev/null", dir / "log"});
  EXPECT_EQ(outcome.status, 0);
  const std::string last = "65536 of 65536 blocks tried, 0 failed\r\n";
  ASSERT_GE(outcome.out.size(), last.size());
  EXPECT_EQ(outcome.out.substr(outcome.out.size() - last.size()), last);
  EXPECT_EQ(read_log(dir / "log"), "--eof--\n");
}

TEST(Copy, ReadsABlockDevice) {
  TempDir dir;
  const std::string in = sample_bytes(3 * BLOCK + 512, 3);
  write_file(dir / "image", in);
  LoopDevice loop(dir / "image");
  SKIP_UNLESS_MOUNTED(loop);
  const Outcome outcome = run_valmerk({"--copy", loop.device(), dir / "out", dir / "log"});
  EXPECT_EQ(outcome.out, copy_transcript(loop.device(), static_cast<int>(in.size()), {}));
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(read_file(dir / "out"), in);
}

// Two names for one file, by any path: the copy must not start, since opening
// OUT or LOG would empty the other name's file.
struct SameFile {
  std::vector<std::string> args;  // in, out, log, relative to a directory holding "in" and links to it
  size_t first;                   // the two names printed, by position in args
  size_t second;
};

void PrintTo(const SameFile& row, std::ostream* os) {
  for (const std::string& name : row.args) *os << name << ' ';
}

const SameFile kSameFiles[] = {
    {{"in", "in", "log"}, 0, 1},   {{"in", "out", "in"}, 0, 2},         {{"in", "out", "out"}, 1, 2},
    {{"in", "hard", "log"}, 0, 1}, {{"in", "out", "soft"}, 0, 2},       {{"soft", "in", "log"}, 0, 1},
    {{"in", "./in", "log"}, 0, 1}, {{"in", "sub/../out", "out"}, 1, 2},
};

class CopySameFileTest : public testing::TestWithParam<SameFile> {};

TEST_P(CopySameFileTest, RefusesBeforeTouchingAnyFile) {
  TempDir dir;
  const std::string in = sample_bytes(BLOCK + 5, 4);
  write_file(dir / "in", in);
  std::filesystem::create_hard_link(dir / "in", dir / "hard");
  std::filesystem::create_symlink("in", dir / "soft");
  std::filesystem::create_directory(dir / "sub");
  std::vector<std::string> args{"--copy"};
  for (const std::string& name : GetParam().args) args.push_back(dir / name);
  const Outcome outcome = run_valmerk(args);
  EXPECT_EQ(outcome.out, "fatal: '" + args[1 + GetParam().first] + "' and '" + args[1 + GetParam().second] +
                             "' are the same file\n");
  EXPECT_EQ(outcome.err, "");
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(read_file(dir / "in"), in);
  EXPECT_FALSE(exists(dir / "out"));
  EXPECT_FALSE(exists(dir / "log"));
}

INSTANTIATE_TEST_SUITE_P(Table, CopySameFileTest, testing::ValuesIn(kSameFiles));

// The bytes of a block a read delivered before it failed, in a block of n
// bytes at pos whose first unreadable byte is at first_bad.
std::string salvaged_block(const std::string& in, size_t pos, size_t n, size_t first_bad) {
  return in.substr(pos, first_bad - pos) + std::string(pos + n - first_bad, '\0');
}

struct DamagedDisc {
  const char* name;
  int size;
  std::vector<BadDisc::Range> bad;
  std::vector<int> failed_blocks;
};

void PrintTo(const DamagedDisc& row, std::ostream* os) { *os << row.name; }

const DamagedDisc kDamagedDiscs[] = {
    {"none", 3 * BLOCK + 7, {}, {}},
    {"first_byte", 3 * BLOCK, {{0, 1}}, {0}},
    {"last_short_block", 2 * BLOCK + 1000, {{2 * BLOCK + 500, 2 * BLOCK + 501}}, {2}},
    {"last_byte", 2 * BLOCK + 1000, {{2 * BLOCK + 999, 2 * BLOCK + 1000}}, {2}},
    {"middle_of_a_block", 4 * BLOCK, {{BLOCK + 1000, BLOCK + 1010}}, {1}},
    {"last_byte_of_a_block", 4 * BLOCK, {{2 * BLOCK - 1, 2 * BLOCK}}, {1}},
    {"spanning_blocks", 5 * BLOCK, {{30000, 70000}}, {0, 1, 2}},
    {"every_block", 3 * BLOCK + 100, {{0, 3 * BLOCK + 100}}, {0, 1, 2, 3}},
    {"two_ranges", 6 * BLOCK, {{3 * BLOCK + 5, 3 * BLOCK + 6}, {BLOCK, BLOCK + 1}}, {1, 3}},
};

class CopyDamagedDiscTest : public testing::TestWithParam<DamagedDisc> {};

TEST_P(CopyDamagedDiscTest, LogsEveryFailedBlockAndKeepsTheRest) {
  SKIP_ON_WINDOWS("msvcrt's fread reports no bytes of a read that failed part way");
  const DamagedDisc& disc = GetParam();
  TempDir dir;
  const std::string in = sample_bytes(static_cast<size_t>(disc.size), 8);
  write_file(dir / "disc.iso", in);
  BadDisc damaged(dir / "disc.iso", disc.bad);
  SKIP_UNLESS_MOUNTED(damaged);

  const Outcome outcome = run_valmerk({"--copy", damaged.file(), dir / "out", dir / "log"});
  EXPECT_EQ(outcome.out, copy_transcript(damaged.file(), disc.size, disc.failed_blocks));
  EXPECT_EQ(outcome.err, "");
  EXPECT_EQ(outcome.status, 0);

  std::string log;
  for (const int block : disc.failed_blocks) log += std::to_string(block * BLOCK) + "\n";
  EXPECT_EQ(read_log(dir / "log"), log + "--eof--\n");

  const std::string out = read_file(dir / "out");
  ASSERT_EQ(out.size(), in.size());
  for (size_t pos = 0; pos < in.size(); pos += BLOCK) {
    const size_t n = std::min<size_t>(BLOCK, in.size() - pos);
    size_t first_bad = pos + n;
    for (const BadDisc::Range& range : disc.bad) {
      const size_t start = static_cast<size_t>(range.start), end = static_cast<size_t>(range.end);
      if (start < pos + n && end > pos) first_bad = std::min(first_bad, std::max(start, pos));
    }
    EXPECT_TRUE(out.compare(pos, n, salvaged_block(in, pos, n, first_bad)) == 0) << "block at " << pos;
  }
}

INSTANTIATE_TEST_SUITE_P(Table, CopyDamagedDiscTest, testing::ValuesIn(kDamagedDiscs),
                         [](const auto& row) { return std::string(row.param.name); });

// A copy that is cut off must still tell which blocks failed. OUT is a pipe that
// nobody reads, so the copy stalls once the pipe is full, with the first
// blocks tried; it is then killed.
TEST(Copy, LogOfAnInterruptedCopyHoldsItsEntries) {
  SKIP_ON_WINDOWS("it needs a damaged disc, which is Linux's FUSE");
  TempDir dir;
  write_file(dir / "disc.iso", sample_bytes(8 * BLOCK, 9));
  BadDisc damaged(dir / "disc.iso", {{0, 1}});
  SKIP_UNLESS_MOUNTED(damaged);
  ASSERT_EQ(mkfifo((dir / "out").c_str(), 0600), 0);

  const pid_t copy = start_valmerk({"--copy", damaged.file(), dir / "out", dir / "log"});
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while ((!exists(dir / "log") || read_file(dir / "log").empty()) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  kill(copy, SIGKILL);
  int wait_status = 0;
  waitpid(copy, &wait_status, 0);
  EXPECT_TRUE(WIFSIGNALED(wait_status)) << "the copy should have stalled on its full pipe";
  EXPECT_EQ(read_log(dir / "log"), "0\n");
}

}  // namespace
