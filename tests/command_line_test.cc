#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "test_util.h"

namespace {

const std::string USAGE =
    "Usage: valmerk <command> [OPTIONS]\n"
    "\n"
    "A program to copy as much of file data as possible from broken CD/DVD,\n"
    "and create error log and patch files, to fix over Internet.\n"
    "\n"
    "Commangs are:\n"
    "  --copy IN OUT LOG      copy IN to OUT, tracking errors in LOG\n"
    "  --delta IN LOG DELTA   build patch file DELTA from IN and LOG\n"
    "  --patch FILE DELTA     apply patch file DELTA to FILE (in-place!)\n"
    "\n"
    "Report bugs to <valmerk-maintainers@lists.valmerk.org>\n";

struct CommandLineCase {
  std::vector<std::string> args;  // names without a leading dash stand for files in a fresh directory
  std::string out;
};

void PrintTo(const CommandLineCase& row, std::ostream* os) {
  for (const std::string& arg : row.args) *os << arg << ' ';
}

const CommandLineCase kCommandLines[] = {
    {{}, USAGE},
    {{"--copy"}, USAGE},
    {{"--copy", "a"}, USAGE},
    {{"--copy", "a", "b"}, USAGE},
    {{"--copy", "a", "b", "c", "d"}, USAGE},
    {{"--delta", "a", "b"}, USAGE},
    {{"--delta", "a", "b", "c", "d"}, USAGE},
    {{"--patch", "a"}, USAGE},
    {{"--patch", "a", "b", "c"}, USAGE},
    {{"a", "b"}, USAGE},
    {{"--COPY", "a", "b", "c"}, "internal error: unhandled command '--COPY'\n"},
    {{"--frob", "a", "b"}, "internal error: unhandled command '--frob'\n"},
    {{"-", "a", "b", "c", "d", "e"}, "internal error: unhandled command '-'\n"},
};

class CommandLineTest : public testing::TestWithParam<CommandLineCase> {};

TEST_P(CommandLineTest, PrintsAndTouchesNoFile) {
  TempDir dir;
  std::vector<std::string> args;
  for (const std::string& arg : GetParam().args) args.push_back(arg[0] == '-' ? arg : dir / arg);
  const Outcome outcome = run_valmerk(args);
  EXPECT_EQ(outcome.out, GetParam().out);
  EXPECT_EQ(outcome.err, "");
  EXPECT_EQ(outcome.status, 0);
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

INSTANTIATE_TEST_SUITE_P(Table, CommandLineTest, testing::ValuesIn(kCommandLines));

// Every command takes the length of its first file before it creates or
// changes anything, and refuses one it can't measure or that is 2 GiB or more.
struct LengthCase {
  const char* name;
  std::vector<std::string> args;  // names without a leading slash or dash are files in the directory below
  std::string out;                // with NAME for the first file's name
};

void PrintTo(const LengthCase& row, std::ostream* os) { *os << row.name; }

const std::string TOO_LARGE = "fatal: 'NAME' is too large (2147483648 bytes, the limit is 2147483647)\n";
const std::string NO_LENGTH = "fatal: failed to find the length of 'NAME'\n";

const LengthCase kLengthCases[] = {
    {"copy_from_a_pipe", {"--copy", "/dev/stdin", "out", "new.log"}, NO_LENGTH},
    {"copy_of_2_GiB", {"--copy", "big", "out", "log"}, TOO_LARGE},
    {"delta_from_a_pipe", {"--delta", "/dev/stdin", "log", "new.delta"}, NO_LENGTH},
    {"delta_of_2_GiB", {"--delta", "big", "log", "delta"}, TOO_LARGE},
    {"patch_of_2_GiB", {"--patch", "big", "delta"}, TOO_LARGE},
};

class LengthTest : public testing::TestWithParam<LengthCase> {};

TEST_P(LengthTest, RefusesBeforeTouchingAnyFile) {
  const bool piped = GetParam().args[1] == "/dev/stdin";
  if (piped) SKIP_ON_WINDOWS("under wine a pipe seeks like a file of 0 bytes");
  TempDir dir;
  make_sparse(dir / "big", 2147483648u);
  write_file(dir / "out", "old out");
  write_file(dir / "log", "0\n--eof--\n");
  write_file(dir / "delta", delta_bytes(0, {}));
  std::vector<std::string> args;
  for (const std::string& arg : GetParam().args) args.push_back(arg[0] == '-' || arg[0] == '/' ? arg : dir / arg);
  const Outcome outcome = run_valmerk(args, piped ? "piped bytes" : "");
  std::string expected = GetParam().out;
  expected.replace(expected.find("NAME"), 4, args[1]);
  EXPECT_EQ(outcome.out, expected);
  EXPECT_EQ(outcome.err, "");
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(std::filesystem::file_size(dir / "big"), 2147483648u);
  EXPECT_EQ(read_file(dir / "out"), "old out");
  EXPECT_EQ(read_file(dir / "log"), "0\n--eof--\n");
  EXPECT_EQ(read_file(dir / "delta"), delta_bytes(0, {}));
  EXPECT_FALSE(exists(dir / "new.log") || exists(dir / "new.delta"));
}

INSTANTIATE_TEST_SUITE_P(Table, LengthTest, testing::ValuesIn(kLengthCases),
                         [](const auto& row) { return std::string(row.param.name); });

}  // namespace
