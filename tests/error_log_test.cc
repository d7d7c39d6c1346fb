#include "salvage/error_log.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <string>

#include "cli/file_ops.h"
#include "test_util.h"

namespace {

// Reads a whole log and tells what the reader saw: one line per entry, then
// where the log ended, or the message it ended the process with.
Outcome read_log(const std::string& path) {
  return run_in_child([&] {
    std::FILE* log = must_open(path.c_str(), "r");
    int line_number = 0;
    while (std::optional<int> offset = log_next_entry(log, "LOG", line_number)) std::printf("entry %d\n", *offset);
    std::printf("end after line %d\n", line_number);
  });
}

struct LogCase {
  const char* name;
  std::string content;
  std::string seen;
};

void PrintTo(const LogCase& row, std::ostream* os) { *os << row.name; }

const std::string LONG_TAIL(254, 'x');

const LogCase kLogCases[] = {
    {"marker only", "--eof--\n", "end after line 1\n"},
    {"entries", "0\n32768\n--eof--\n", "entry 0\nentry 32768\nend after line 3\n"},
    {"crlf", "0\r\n32768\r\n--eof--\r\n", "entry 0\nentry 32768\nend after line 3\n"},
    {"empty file", "", "end after line 0\n"},
    {"marker then garbage", "5\n--eof--\nxyz\n\n", "entry 5\nend after line 2\n"},
    {"text after marker", "--eof--garbage\n", "end after line 1\n"},
    {"no marker", "32768\n", "entry 32768\nend after line 1\n"},
    {"cut in digits", "32768\n327", "entry 32768\nentry 327\nend after line 2\n"},
    {"cut in marker", "0\n--eo", "entry 0\nfatal: bad log file (unexpected contents in line 2)\n"},
    {"marker after space", " --eof--\n", "fatal: bad log file (unexpected contents in line 1)\n"},
    {"empty line", "0\n\n--eof--\n", "entry 0\nfatal: bad log file (unexpected contents in line 2)\n"},
    {"empty crlf line", "0\r\n\r\n--eof--\r\n", "entry 0\nfatal: bad log file (unexpected contents in line 2)\n"},
    {"letters before digits", "abc512\n", "fatal: bad log file (unexpected contents in line 1)\n"},
    {"leading space and words", "  512 and more\n", "entry 512\nend after line 1\n"},
    {"tab", "\t7\n", "entry 7\nend after line 1\n"},
    {"minus", "-512\n", "entry -512\nend after line 1\n"},
    {"plus", "+512\n", "entry 512\nend after line 1\n"},
    {"sign alone", "-\n", "fatal: bad log file (unexpected contents in line 1)\n"},
    {"two signs", "+-5\n", "fatal: bad log file (unexpected contents in line 1)\n"},
    {"space after sign", "- 5\n", "fatal: bad log file (unexpected contents in line 1)\n"},
    {"largest", "2147483647\n", "entry 2147483647\nend after line 1\n"},
    {"smallest", "-2147483648\n", "entry -2147483648\nend after line 1\n"},
    {"past largest", "2147483648\n", "entry 2147483647\nend after line 1\n"},
    {"past smallest", "-2147483649\n", "entry -2147483648\nend after line 1\n"},
    {"past 2^63", "99999999999999999999999\n", "entry 2147483647\nend after line 1\n"},
    {"nul ends the number",
     std::string("12\0"
                 "34\n",
                 6),
     "entry 12\nend after line 1\n"},
    {"254 characters", "1" + LONG_TAIL.substr(1) + "\n--eof--\n", "entry 1\nend after line 2\n"},
    // The buffer holds 255 characters, so the line feed comes as a line of its own.
    {"255 characters", "1" + LONG_TAIL + "\n--eof--\n",
     "entry 1\nfatal: bad log file (unexpected contents in line 2)\n"},
};

class LogReaderTest : public testing::TestWithParam<LogCase> {};

TEST_P(LogReaderTest, ReadsAsExpected) {
  TempDir dir;
  write_file(dir / "log", GetParam().content);
  const Outcome seen = read_log(dir / "log");
  EXPECT_EQ(seen.out, GetParam().seen);
  EXPECT_EQ(seen.status, seen.out.find("fatal: ") == std::string::npos ? 0 : 1);
}

INSTANTIATE_TEST_SUITE_P(Cases, LogReaderTest, testing::ValuesIn(kLogCases), [](const auto& row) {
  std::string name = row.param.name;
  for (char& c : name)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return name;
});

TEST(LogReader, ReadErrorIsNotTheEndOfTheLog) {
  TempDir dir;
  // Reading a directory fails, which no log may pass off as an empty one.
  const Outcome seen = read_log(dir.path());
  EXPECT_EQ(seen.out, "fatal: read error (failed to read line 1 from LOG)\n");
  EXPECT_EQ(seen.status, 1);
}

TEST(LogWriter, WritesEntriesAndMarker) {
  TempDir dir;
  const Outcome written = run_in_child([&] {
    std::FILE* log = must_open((dir / "log").c_str(), "w+");
    log_append(log, 0);
    log_append(log, 32768);
    log_append(log, -5);
    log_finish(log);
    must_close(log);
  });
  EXPECT_EQ(written.status, 0);
  EXPECT_EQ(read_file(dir / "log"), "0\n32768\n-5\n--eof--\n");
  EXPECT_EQ(read_log(dir / "log").out, "entry 0\nentry 32768\nentry -5\nend after line 4\n");
}

TEST(LogWriter, EachEntryReachesTheFileAtOnce) {
  TempDir dir;
  const Outcome written = run_in_child([&] {
    std::FILE* log = must_open((dir / "log").c_str(), "w+");
    log_append(log, 65536);
    std::printf("%s", read_file(dir / "log").c_str());
  });
  EXPECT_EQ(written.out, "65536\n");
}

TEST(LogWriter, FullDiskIsAWriteError) {
  for (const bool finish : {false, true}) {
    const Outcome written = run_in_child([&] {
      std::FILE* log = must_open("/dev/full", "w+");
      if (finish)
        log_finish(log);
      else
        log_append(log, 0);
      std::printf("not reached\n");
    });
    EXPECT_EQ(written.out, "fatal: write error (disk full?)\n") << "finish " << finish;
    EXPECT_EQ(written.status, 1);
  }
}

}  // namespace
