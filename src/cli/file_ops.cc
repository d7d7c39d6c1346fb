#include "cli/file_ops.h"

#include <filesystem>
#include <system_error>

#include "cli/fatal.h"

std::FILE* must_open(const char* path, const char* mode) {
  std::FILE* stream = std::fopen(path, mode);
  if (stream == nullptr) fatal("failed to open '%s'\n", path);
  return stream;
}

void must_read(void* buffer, int count, std::FILE* stream, const char* name) {
  if (count == 0) return;
  if (std::fread(buffer, 1, static_cast<size_t>(count), stream) != static_cast<size_t>(count))
    fatal("read error (failed to read %d bytes from %s)\n", count, name);
}

void must_write(const void* buffer, int count, std::FILE* stream) {
  if (count == 0) return;
  if (std::fwrite(buffer, 1, static_cast<size_t>(count), stream) != static_cast<size_t>(count))
    fatal("write error (disk full?)\n");
}

void must_flush(std::FILE* stream) {
  if (std::fflush(stream) != 0 || std::ferror(stream)) fatal("write error (disk full?)\n");
}

void must_close(std::FILE* stream) {
  // msvcrt's fclose can return success when its own last flush failed.
  must_flush(stream);
  if (std::fclose(stream) != 0) fatal("write error (disk full?)\n");
}

int min_int(int a, int b) { return a < b ? a : b; }

#ifdef _WIN32
static int seek64(std::FILE* stream, long long offset, int whence) { return _fseeki64(stream, offset, whence); }
static long long tell64(std::FILE* stream) { return _ftelli64(stream); }
#else
static int seek64(std::FILE* stream, long long offset, int whence) {
  return fseeko(stream, static_cast<off_t>(offset), whence);
}
static long long tell64(std::FILE* stream) { return ftello(stream); }
#endif

int must_find_length(std::FILE* stream, const char* name) {
  long long length = -1;
  if (seek64(stream, 0, SEEK_END) == 0) length = tell64(stream);
  if (length < 0) fatal("failed to find the length of '%s'\n", name);
  if (length > FILE_LENGTH_LIMIT)
    fatal("'%s' is too large (%lld bytes, the limit is %lld)\n", name, length, FILE_LENGTH_LIMIT);
  return static_cast<int>(length);
}

bool seek_to(std::FILE* stream, int offset) { return seek64(stream, offset, SEEK_SET) == 0; }

void must_seek(std::FILE* stream, int offset, const char* name) {
  if (seek_to(stream, offset)) return;
  if (std::ferror(stream)) fatal("write error (disk full?)\n");
  fatal("failed to seek to offset %d in '%s'\n", offset, name);
}

static bool same_file(const char* first, const char* second) {
  namespace fs = std::filesystem;
  std::error_code error;
  if (fs::equivalent(first, second, error)) return true;
  // Names of files that don't exist yet are the same file once they are created.
  const fs::path first_path = fs::weakly_canonical(first, error);
  if (error) return false;
  const fs::path second_path = fs::weakly_canonical(second, error);
  return !error && first_path == second_path;
}

void refuse_same_file(const char* first, const char* second) {
  if (same_file(first, second)) fatal("'%s' and '%s' are the same file\n", first, second);
}
