#include "delta/delta_file.h"

#include <cstdint>

#include "cli/fatal.h"
#include "cli/file_ops.h"

static void write_int(std::FILE* delta, int value) {
  const auto bits = static_cast<std::uint32_t>(value);
  const unsigned char bytes[4] = {static_cast<unsigned char>(bits), static_cast<unsigned char>(bits >> 8),
                                  static_cast<unsigned char>(bits >> 16), static_cast<unsigned char>(bits >> 24)};
  must_write(bytes, 4, delta);
}

static int read_int(std::FILE* delta, const char* name) {
  unsigned char bytes[4];
  must_read(bytes, 4, delta, name);
  const std::uint32_t bits = bytes[0] | static_cast<std::uint32_t>(bytes[1]) << 8 |
                             static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
  // Two's complement by arithmetic, so that no conversion depends on the compiler.
  return bits <= INT32_MAX ? static_cast<int>(bits) : -static_cast<int>(~bits) - 1;
}

void delta_write_header(std::FILE* delta, int length) { write_int(delta, length); }

void delta_write_record(std::FILE* delta, int offset, int block_length, const unsigned char* data) {
  write_int(delta, offset);
  write_int(delta, block_length);
  must_write(data, block_length, delta);
}

void delta_write_end(std::FILE* delta) { write_int(delta, DELTA_END); }

int delta_read_header(std::FILE* delta, const char* name) { return read_int(delta, name); }

bool delta_read_record(std::FILE* delta, const char* name, int& offset, int& block_length, unsigned char* block) {
  offset = read_int(delta, name);
  if (offset == DELTA_END) return false;
  block_length = read_int(delta, name);
  if (block_length < 0 || block_length > BLOCK_SIZE)
    fatal("bad block length %d found in delta '%s' (broken delta file?)\n", block_length, name);
  must_read(block, block_length, delta, name);
  return true;
}
