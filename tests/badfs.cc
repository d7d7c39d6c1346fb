// badfs: a damaged disc for the tests. It serves one file read-only, under its
// own base name, with chosen byte ranges unreadable:
//
//   badfs IMAGE MOUNTPOINT [START-END ...]
//
// Bytes START to END-1 of each range can't be read. A read that reaches a bad
// range returns the bytes before it, as a short read; a read that starts inside
// one fails with EIO. Files are opened with direct I/O, so every read arrives
// with the offset and size the reader asked for. Runs in the foreground until
// MOUNTPOINT is unmounted.
#define FUSE_USE_VERSION 31

#include <fcntl.h>
#include <fuse.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct BadRange {
  off_t start;
  off_t end;
};

int image_fd = -1;
off_t image_size = 0;
std::string file_path;  // "/" and the image's base name
std::vector<BadRange> bad_ranges;

int badfs_getattr(const char* path, struct stat* st, fuse_file_info*) {
  std::memset(st, 0, sizeof *st);
  if (std::strcmp(path, "/") == 0) {
    st->st_mode = S_IFDIR | 0555;
    st->st_nlink = 2;
    return 0;
  }
  if (file_path != path) return -ENOENT;
  st->st_mode = S_IFREG | 0444;
  st->st_nlink = 1;
  st->st_size = image_size;
  return 0;
}

int badfs_readdir(const char* path, void* entries, fuse_fill_dir_t fill, off_t, fuse_file_info*, fuse_readdir_flags) {
  if (std::strcmp(path, "/") != 0) return -ENOENT;
  const auto none = static_cast<fuse_fill_dir_flags>(0);
  fill(entries, ".", nullptr, 0, none);
  fill(entries, "..", nullptr, 0, none);
  fill(entries, file_path.c_str() + 1, nullptr, 0, none);
  return 0;
}

int badfs_open(const char* path, fuse_file_info* info) {
  if (file_path != path) return -ENOENT;
  if ((info->flags & O_ACCMODE) != O_RDONLY) return -EROFS;
  info->direct_io = 1;
  return 0;
}

int badfs_read(const char*, char* buffer, size_t size, off_t offset, fuse_file_info*) {
  off_t end = offset + static_cast<off_t>(size);
  for (const BadRange& range : bad_ranges) {
    if (range.start <= offset && offset < range.end) return -EIO;
    if (offset < range.start && range.start < end) end = range.start;
  }
  const ssize_t got = pread(image_fd, buffer, static_cast<size_t>(end - offset), offset);
  return got < 0 ? -errno : static_cast<int>(got);
}

bool parse_range(const char* text, BadRange& range) {
  char* rest = nullptr;
  range.start = std::strtoll(text, &rest, 10);
  if (*rest != '-') return false;
  range.end = std::strtoll(rest + 1, &rest, 10);
  return *rest == '\0' && 0 <= range.start && range.start < range.end;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::printf("usage: badfs IMAGE MOUNTPOINT [START-END ...]\n");
    return 2;
  }
  image_fd = open(argv[1], O_RDONLY);
  struct stat st;
  if (image_fd < 0 || fstat(image_fd, &st) != 0) {
    std::printf("badfs: can't open '%s': %s\n", argv[1], std::strerror(errno));
    return 1;
  }
  image_size = st.st_size;
  const char* slash = std::strrchr(argv[1], '/');
  file_path = std::string("/") + (slash != nullptr ? slash + 1 : argv[1]);
  for (int i = 3; i < argc; ++i) {
    BadRange range;
    if (!parse_range(argv[i], range)) {
      std::printf("badfs: bad range '%s' (START-END, START < END)\n", argv[i]);
      return 2;
    }
    bad_ranges.push_back(range);
  }

  fuse_operations operations{};
  operations.getattr = badfs_getattr;
  operations.readdir = badfs_readdir;
  operations.open = badfs_open;
  operations.read = badfs_read;
  char* fuse_argv[] = {argv[0],
                       const_cast<char*>("-f"),
                       const_cast<char*>("-s"),
                       const_cast<char*>("-o"),
                       const_cast<char*>("ro,fsname=badfs"),
                       argv[2],
                       nullptr};
  return fuse_main(6, fuse_argv, &operations, nullptr);
}
