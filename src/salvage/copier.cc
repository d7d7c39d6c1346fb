#include "salvage/copier.h"

#include <cstdio>
#include <cstring>

#include "cli/file_ops.h"
#include "salvage/error_log.h"

// Reads n bytes of the block at pos into block and returns how many arrived. A
// seek that fails reads nothing, so the block counts as failed rather than
// being taken from wherever the stream happened to be.
static int read_block(std::FILE* in, int pos, int n, unsigned char* block) {
  // An error left over from the previous block must not count against this one.
  std::clearerr(in);
  if (!seek_to(in, pos)) return 0;
  return static_cast<int>(std::fread(block, 1, static_cast<size_t>(n), in));
}

void copy_command(char** argv) {
  const char* in_name = argv[2];
  const char* out_name = argv[3];
  const char* log_name = argv[4];
  refuse_same_file(in_name, out_name);
  refuse_same_file(in_name, log_name);
  refuse_same_file(out_name, log_name);

  std::FILE* in = must_open(in_name, "rb");
  const int size = must_find_length(in, in_name);
  std::FILE* out = must_open(out_name, "wb+");
  // Blocks go straight to OUT: a stream buffer would split each into two
  // writes, and would hold back bytes whose failure then shows only later.
  // A stream that keeps its buffer copies just as correctly.
  (void)std::setvbuf(out, nullptr, _IONBF, 0);
  std::FILE* log = must_open(log_name, "w+");
  // Progress goes to the console; a line that can't be shown changes nothing on disk.
  (void)std::printf("copying %d bytes from '%s'\n", size, in_name);

  static unsigned char block[BLOCK_SIZE];
  const int total = size / BLOCK_SIZE + (size % BLOCK_SIZE != 0);
  int pos = 0;
  int remaining = size;
  int tried = 0;
  int failed = 0;
  while (remaining > 0) {
    const int n = min_int(remaining, BLOCK_SIZE);
    const int got = read_block(in, pos, n, block);
    if (got < n) {
      ++failed;
      log_append(log, pos);
      // Keep what the read delivered; the rest would otherwise show an earlier block.
      std::memset(block + got, 0, static_cast<size_t>(n - got));
    }
    must_write(block, n, out);
    remaining -= n;
    pos += n;
    ++tried;
    (void)std::printf("%d of %d blocks tried, %d failed\r", tried, total, failed);
    (void)std::fflush(stdout);
  }
  log_finish(log);
  (void)std::printf("\n");

  // IN was only read: nothing of ours is lost if its close fails.
  (void)std::fclose(in);
  must_close(out);
  must_close(log);
}
