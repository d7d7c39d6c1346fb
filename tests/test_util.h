#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

// What a process printed and how it ended. status is the exit status, or -1
// if the process was ended by a signal.
struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs the valmerk under test with args, standard input a pipe holding input:
// the built one, or the Windows build under wine where the environment
// variable VALMERK_WINDOWS_EXE names it. What a Windows build prints comes back
// with LF line endings.
Outcome run_valmerk(const std::vector<std::string>& args, const std::string& input = "");

// Runs the built valmerk, never the Windows one.
Outcome run_native_valmerk(const std::vector<std::string>& args);

// True where the valmerk under test is the Windows build.
bool testing_windows();

// A log that the valmerk under test wrote, with LF line endings: a Windows
// build's log must end every line in CR LF.
std::string read_log(const std::string& path);

// Starts the built valmerk with args and standard output to /dev/null, without
// waiting for it; for tests that watch or stop a run part way.
pid_t start_valmerk(const std::vector<std::string>& args);

// Runs the built valmerk with args, one of which names the FIFO fifo. Once
// valmerk has opened the FIFO, feed writes to it; then the FIFO is closed.
// This lets a test change the world while valmerk waits in the middle of a run.
Outcome run_valmerk_feeding(const std::vector<std::string>& args, const std::string& fifo,
                            const std::function<void(int fd)>& feed);

// Runs body in a child process with standard output captured, for code that
// ends the process on failure. The child exits 0 if body returns.
Outcome run_in_child(const std::function<void()>& body);

std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& bytes);
bool exists(const std::string& path);
// Makes path a file of size bytes that takes no room on its disk.
void make_sparse(const std::string& path, unsigned long long size);

// Bytes that differ from block to block and from seed to seed, so that a block
// in the wrong place shows.
std::string sample_bytes(size_t size, unsigned seed);

// A delta file's bytes, made here rather than by the program's writer: the
// length, the records of offset and data, and the end unless ended is false.
std::string delta_bytes(int length, const std::vector<std::pair<int, std::string>>& records, bool ended = true);
std::string le32(int value);

// The lines --copy prints: the copying line, one progress line per block with
// the failures counted so far, and the line feed that ends them.
std::string copy_transcript(const std::string& in_name, int size, const std::vector<int>& failed_blocks);

// A directory of its own under /tmp, removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// A tmpfs of size_bytes at a directory of its own: a disk that fills up.
// Unmounted when it goes out of scope.
class SmallDisk {
 public:
  explicit SmallDisk(long size_bytes);
  ~SmallDisk();
  SmallDisk(const SmallDisk&) = delete;
  SmallDisk& operator=(const SmallDisk&) = delete;
  bool mounted() const { return error_.empty(); }
  const std::string& error() const { return error_; }
  std::string operator/(const std::string& name) const { return dir_ + "/" + name; }
  // Fills the disk, so that the next write fails.
  void fill() const;

 private:
  std::string dir_;
  std::string error_;
};

// A damaged disc: image served through badfs with byte ranges [start, end)
// unreadable. Unmounted when it goes out of scope.
class BadDisc {
 public:
  struct Range {
    long start;
    long end;
  };
  BadDisc(const std::string& image, const std::vector<Range>& bad);
  ~BadDisc();
  BadDisc(const BadDisc&) = delete;
  BadDisc& operator=(const BadDisc&) = delete;
  bool mounted() const { return error_.empty(); }
  const std::string& error() const { return error_; }
  // The path of the damaged copy of image.
  const std::string& file() const { return file_; }

 private:
  std::string dir_;
  std::string file_;
  std::string error_;
  pid_t server_ = -1;
};

// A loop device over image: a block device whose size the test can change.
// Detached when it goes out of scope.
class LoopDevice {
 public:
  explicit LoopDevice(const std::string& image);
  ~LoopDevice();
  LoopDevice(const LoopDevice&) = delete;
  LoopDevice& operator=(const LoopDevice&) = delete;
  bool mounted() const { return error_.empty(); }
  const std::string& error() const { return error_; }
  const std::string& device() const { return device_; }
  // Cuts the image to size_bytes and makes the device follow.
  void shrink(long size_bytes) const;

 private:
  std::string image_;
  std::string device_;
  std::string error_;
};

#define SKIP_UNLESS_MOUNTED(mount) \
  if (!(mount).mounted()) GTEST_SKIP() << (mount).error()

// For tests whose outcome rests on how Linux's C library or kernel behaves.
#define SKIP_ON_WINDOWS(why) \
  if (testing_windows()) GTEST_SKIP() << "not run against the Windows build: " why
