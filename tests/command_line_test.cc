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

}  // namespace
