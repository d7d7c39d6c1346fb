#include "delta/patcher.h"

#include <cstdio>

#include "cli/fatal.h"
#include "cli/file_ops.h"
#include "delta/delta_file.h"

void patch_command(char** argv) {
  const char* file_name = argv[2];
  const char* delta_name = argv[3];
  refuse_same_file(file_name, delta_name);

  std::FILE* file = must_open(file_name, "rb+");
  const int file_length = must_find_length(file, file_name);
  std::FILE* delta = must_open(delta_name, "rb");
  const int original_length = delta_read_header(delta, delta_name);
  if (original_length != file_length)
    fatal("file lengths are different (original=%d, patched=%d)\n", original_length, file_length);

  static unsigned char block[BLOCK_SIZE];
  int offset = 0;
  int block_length = 0;
  while (delta_read_record(delta, delta_name, offset, block_length, block)) {
    // A delta comes over the network: a record must not grow FILE or write
    // before its start. Both lengths are at least 0, so the difference can't overflow.
    if (offset < 0 || offset > file_length - block_length)
      fatal("bad block offset %d found in delta '%s' (broken delta file?)\n", offset, delta_name);
    must_seek(file, offset, file_name);
    must_write(block, block_length, file);
  }

  must_close(file);
  // DELTA was only read: nothing of ours is lost if its close fails.
  (void)std::fclose(delta);
  (void)std::printf("target file '%s' patched succesfully\n", file_name);
}
