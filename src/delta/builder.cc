#include "delta/builder.h"

#include <cstdio>
#include <optional>

#include "cli/fatal.h"
#include "cli/file_ops.h"
#include "delta/delta_file.h"
#include "salvage/error_log.h"

void delta_command(char** argv) {
  const char* in_name = argv[2];
  const char* log_name = argv[3];
  const char* delta_name = argv[4];
  refuse_same_file(in_name, delta_name);
  refuse_same_file(log_name, delta_name);

  std::FILE* in = must_open(in_name, "rb");
  const int length = must_find_length(in, in_name);
  std::FILE* log = must_open(log_name, "r");
  std::FILE* delta = must_open(delta_name, "wb+");
  delta_write_header(delta, length);

  static unsigned char block[BLOCK_SIZE];
  int line_number = 0;
  while (const std::optional<int> offset = log_next_entry(log, log_name, line_number)) {
    if (*offset < 0 || *offset > length) fatal("bad log file (offset %d greater than IN length %d)\n", *offset, length);
    const int n = min_int(BLOCK_SIZE, length - *offset);
    must_seek(in, *offset, in_name);
    must_read(block, n, in, in_name);
    delta_write_record(delta, *offset, n, block);
  }
  delta_write_end(delta);

  // IN and LOG were only read: nothing of ours is lost if their closes fail.
  (void)std::fclose(in);
  (void)std::fclose(log);
  must_close(delta);
  (void)std::printf("delta file '%s' created succesfully\n", delta_name);
}
