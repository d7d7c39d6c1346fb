#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "test_util.h"

namespace {

constexpr int BLOCK = 32768;

std::string patched(const std::string& file) { return "target file '" + file + "' patched succesfully\n"; }

std::string bad_offset(int offset, const std::string& delta) {
  return "fatal: bad block offset " + std::to_string(offset) + " found in delta '" + delta + "' (broken delta file?)\n";
}

// FILE before and after, for a delta applied to a file of FILE_SIZE bytes.
constexpr int FILE_SIZE = 3 * BLOCK + 100;

struct PatchCase {
  const char* name;
  std::string delta;  // its bytes, applied to FILE_SIZE bytes of 'f'
  std::vector<std::pair<int, std::string>> applied;
  std::string error;  // what --patch prints, with DELTA for the delta's name; empty for success
};

void PrintTo(const PatchCase& row, std::ostream* os) { *os << row.name; }

const std::string DATA = sample_bytes(BLOCK, 21);
const std::string READ_ERROR_4 = "fatal: read error (failed to read 4 bytes from DELTA)\n";

const PatchCase kPatchCases[] = {
    {"empty_delta", delta_bytes(FILE_SIZE, {}), {}, ""},
    {"records", delta_bytes(FILE_SIZE, {{BLOCK, DATA}, {5, "abc"}}), {{BLOCK, DATA}, {5, "abc"}}, ""},
    {"later_record_wins", delta_bytes(FILE_SIZE, {{10, "first"}, {10, "later"}}), {{10, "later"}}, ""},
    {"last_short_block",
     delta_bytes(FILE_SIZE, {{3 * BLOCK, DATA.substr(0, 100)}}),
     {{3 * BLOCK, DATA.substr(0, 100)}},
     ""},
    {"empty_record_at_the_end", delta_bytes(FILE_SIZE, {{FILE_SIZE, ""}}), {}, ""},
    {"record_ending_at_the_end", delta_bytes(FILE_SIZE, {{FILE_SIZE - 1, "z"}}), {{FILE_SIZE - 1, "z"}}, ""},
    {"length_one_more",
     delta_bytes(FILE_SIZE + 1, {{0, "x"}}),
     {},
     "fatal: file lengths are different (original=98405, patched=98404)\n"},
    {"length_one_less",
     delta_bytes(FILE_SIZE - 1, {}),
     {},
     "fatal: file lengths are different (original=98403, patched=98404)\n"},
    {"record_past_the_end",
     delta_bytes(FILE_SIZE, {{0, "ok"}, {FILE_SIZE - 1, "zz"}}),
     {{0, "ok"}},
     bad_offset(FILE_SIZE - 1, "DELTA")},
    {"empty_record_past_the_end",
     delta_bytes(FILE_SIZE, {{FILE_SIZE + 1, ""}}),
     {},
     bad_offset(FILE_SIZE + 1, "DELTA")},
    {"negative_offset", delta_bytes(FILE_SIZE, {{-2, "x"}}), {}, bad_offset(-2, "DELTA")},
    {"offset_that_would_overflow", delta_bytes(FILE_SIZE, {{2147483646, DATA}}), {}, bad_offset(2147483646, "DELTA")},
    {"bad_block_length_after_a_record",
     delta_bytes(FILE_SIZE, {{0, "ok"}}, false) + le32(BLOCK) + le32(BLOCK + 1) + DATA,
     {{0, "ok"}},
     "fatal: bad block length 32769 found in delta 'DELTA' (broken delta file?)\n"},
    {"cut_in_the_third_record",
     delta_bytes(FILE_SIZE, {{0, "one"}, {BLOCK, "two"}, {2 * BLOCK, DATA}}).substr(0, 50),
     {{0, "one"}, {BLOCK, "two"}},
     "fatal: read error (failed to read 32768 bytes from DELTA)\n"},
    {"no_end", delta_bytes(FILE_SIZE, {{0, "one"}}, false), {{0, "one"}}, READ_ERROR_4},
    {"empty_file", "", {}, READ_ERROR_4},
};

std::string replace_all(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

class PatchCommandTest : public testing::TestWithParam<PatchCase> {};

TEST_P(PatchCommandTest, PatchesInPlace) {
  const PatchCase& row = GetParam();
  TempDir dir;
  std::string file(FILE_SIZE, 'f');
  write_file(dir / "file", file);
  write_file(dir / "delta", row.delta);
  const Outcome outcome = run_valmerk({"--patch", dir / "file", dir / "delta"});
  EXPECT_EQ(outcome.out, row.error.empty() ? patched(dir / "file") : replace_all(row.error, "DELTA", dir / "delta"));
  EXPECT_EQ(outcome.err, "");
  EXPECT_EQ(outcome.status, row.error.empty() ? 0 : 1);
  for (const auto& [offset, data] : row.applied) file.replace(static_cast<size_t>(offset), data.size(), data);
  EXPECT_EQ(read_file(dir / "file"), file);
}

INSTANTIATE_TEST_SUITE_P(Table, PatchCommandTest, testing::ValuesIn(kPatchCases),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(PatchCommand, SecondRunChangesNothing) {
  TempDir dir;
  write_file(dir / "file", std::string(FILE_SIZE, 'f'));
  write_file(dir / "delta", delta_bytes(FILE_SIZE, {{0, DATA}, {2 * BLOCK, DATA.substr(0, 7)}}));
  ASSERT_EQ(run_valmerk({"--patch", dir / "file", dir / "delta"}).status, 0);
  const std::string once = read_file(dir / "file");
  EXPECT_EQ(run_valmerk({"--patch", dir / "file", dir / "delta"}).out, patched(dir / "file"));
  EXPECT_EQ(read_file(dir / "file"), once);
}

TEST(PatchCommand, OpenFailures) {
  TempDir dir;
  write_file(dir / "delta", delta_bytes(0, {}));
  write_file(dir / "file", "");
  Outcome outcome = run_valmerk({"--patch", dir / "missing", dir / "delta"});
  EXPECT_EQ(outcome.out, "fatal: failed to open '" + dir / "missing" + "'\n");
  EXPECT_EQ(outcome.status, 1);
  EXPECT_FALSE(exists(dir / "missing"));
  outcome = run_valmerk({"--patch", dir / "file", dir / "missing"});
  EXPECT_EQ(outcome.out, "fatal: failed to open '" + dir / "missing" + "'\n");
  EXPECT_EQ(outcome.status, 1);
}

TEST(PatchCommand, RefusesADeltaThatIsTheFile) {
  for (const char* delta_name : {"file", "./file", "link"}) {
    TempDir dir;
    const std::string file = delta_bytes(8, {});
    write_file(dir / "file", file);
    std::filesystem::create_symlink("file", dir / "link");
    const Outcome outcome = run_valmerk({"--patch", dir / "file", dir / delta_name});
    EXPECT_EQ(outcome.out, "fatal: '" + dir / "file" + "' and '" + dir / delta_name + "' are the same file\n");
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(read_file(dir / "file"), file);
  }
}

// FILE shrinks while --patch waits for the delta, so the seek to a record that
// was inside FILE fails.
TEST(PatchCommand, FailedSeekIsFatal) {
  TempDir dir;
  write_file(dir / "image", std::string(8 * BLOCK, 'f'));
  LoopDevice loop(dir / "image");
  SKIP_UNLESS_MOUNTED(loop);
  ASSERT_EQ(mkfifo((dir / "delta").c_str(), 0600), 0);
  const Outcome outcome = run_valmerk_feeding({"--patch", loop.device(), dir / "delta"}, dir / "delta", [&](int fd) {
    loop.shrink(BLOCK);
    const std::string delta = delta_bytes(8 * BLOCK, {{6 * BLOCK, "x"}});
    ASSERT_EQ(write(fd, delta.data(), delta.size()), static_cast<ssize_t>(delta.size()));
  });
  EXPECT_EQ(outcome.out, "fatal: failed to seek to offset 196608 in '" + loop.device() + "'\n");
  EXPECT_EQ(outcome.status, 1);
}

}  // namespace
