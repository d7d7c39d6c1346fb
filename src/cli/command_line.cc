#include "cli/command_line.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "delta/builder.h"
#include "delta/patcher.h"
#include "salvage/copier.h"

static const char USAGE[] =
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

[[noreturn]] static void print_usage() {
  // The usage text is the whole answer; there is nothing to fall back on if stdout fails.
  (void)std::fputs(USAGE, stdout);
  std::exit(0);
}

static bool is(const char* word, const char* command) { return std::strcmp(word, command) == 0; }

int valmerk_main(int argc, char** argv) {
  if (argc < 4) print_usage();
  const char* word = argv[1];
  if (is(word, "--copy") && argc != 5) print_usage();
  if (is(word, "--delta") && argc != 5) print_usage();
  if (is(word, "--patch") && argc != 4) print_usage();

  if (is(word, "--copy"))
    copy_command(argv);
  else if (is(word, "--delta"))
    delta_command(argv);
  else if (is(word, "--patch"))
    patch_command(argv);
  else
    (void)std::printf("internal error: unhandled command '%s'\n", word);
  return 0;
}
