#include "test_util.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace {

std::string make_temp_dir(const char* prefix) {
  std::string pattern = std::string("/tmp/") + prefix + ".XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp: " + std::string(std::strerror(errno)));
  return pattern;
}

int exit_status(int wait_status) { return WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1; }

pid_t spawn(const std::vector<std::string>& argv, int stdin_fd, const std::string& out_path,
            const std::string& err_path) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (stdin_fd >= 0) posix_spawn_file_actions_adddup2(&actions, stdin_fd, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  pid_t pid = -1;
  const int error = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) throw std::runtime_error("posix_spawn " + argv[0] + ": " + std::strerror(error));
  return pid;
}

// The built valmerk, or the Windows build under wine where VALMERK_WINDOWS_EXE names it.
std::vector<std::string> valmerk_argv(bool native, const std::vector<std::string>& args) {
  std::vector<std::string> argv{VALMERK_BINARY};
  if (!native && testing_windows()) argv = {"wine", std::getenv("VALMERK_WINDOWS_EXE")};
  argv.insert(argv.end(), args.begin(), args.end());
  return argv;
}

std::string lf_lines(std::string text) {
  for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) text.erase(at, 1);
  return text;
}

Outcome run(bool native, const std::vector<std::string>& args, const std::string& input) {
  TempDir capture;
  int input_pipe[2];
  if (pipe(input_pipe) != 0) throw std::runtime_error("pipe failed");
  // Small inputs fit the pipe's buffer, so writing them before the child reads can't block.
  if (write(input_pipe[1], input.data(), input.size()) != static_cast<ssize_t>(input.size()))
    throw std::runtime_error("input too large for a pipe");
  close(input_pipe[1]);
  const pid_t pid = spawn(valmerk_argv(native, args), input_pipe[0], capture / "out", capture / "err");
  close(input_pipe[0]);
  int wait_status = 0;
  waitpid(pid, &wait_status, 0);
  std::string out = read_file(capture / "out");
  // Standard output is a text stream too: Windows ends its lines in CR LF.
  if (!native && testing_windows()) out = lf_lines(out);
  return Outcome{exit_status(wait_status), out, read_file(capture / "err")};
}

}  // namespace

bool testing_windows() { return std::getenv("VALMERK_WINDOWS_EXE") != nullptr; }

Outcome run_valmerk(const std::vector<std::string>& args, const std::string& input) { return run(false, args, input); }

Outcome run_native_valmerk(const std::vector<std::string>& args) { return run(true, args, ""); }

std::string read_log(const std::string& path) {
  const std::string log = read_file(path);
  if (!testing_windows()) return log;
  // A Windows log ends every line in CR LF. One that doesn't is returned as it
  // is, so that the comparison shows it.
  const std::string lf = lf_lines(log);
  const bool all_crlf = log.size() - lf.size() == static_cast<size_t>(std::count(log.begin(), log.end(), '\n'));
  return all_crlf ? lf : log;
}

pid_t start_valmerk(const std::vector<std::string>& args) {
  return spawn(valmerk_argv(false, args), -1, "/dev/null", "/dev/null");
}

Outcome run_valmerk_feeding(const std::vector<std::string>& args, const std::string& fifo,
                            const std::function<void(int fd)>& feed) {
  TempDir capture;
  const pid_t pid = spawn(valmerk_argv(false, args), -1, capture / "out", capture / "err");
  // Opening a FIFO for writing waits until valmerk opens it for reading.
  const int fd = open(fifo.c_str(), O_WRONLY);
  if (fd >= 0) {
    feed(fd);
    close(fd);
  }
  int wait_status = 0;
  waitpid(pid, &wait_status, 0);
  return Outcome{exit_status(wait_status), read_file(capture / "out"), read_file(capture / "err")};
}

Outcome run_in_child(const std::function<void()>& body) {
  std::fflush(nullptr);
  int out_pipe[2];
  if (pipe(out_pipe) != 0) throw std::runtime_error("pipe failed");
  const pid_t pid = fork();
  if (pid == 0) {
    close(out_pipe[0]);
    dup2(out_pipe[1], 1);
    body();
    std::fflush(nullptr);
    _exit(0);
  }
  close(out_pipe[1]);
  Outcome outcome;
  char buffer[4096];
  ssize_t got;
  while ((got = read(out_pipe[0], buffer, sizeof buffer)) > 0) outcome.out.append(buffer, static_cast<size_t>(got));
  close(out_pipe[0]);
  int wait_status = 0;
  waitpid(pid, &wait_status, 0);
  outcome.status = exit_status(wait_status);
  return outcome;
}

std::string read_file(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) throw std::runtime_error("can't read " + path);
  std::ostringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

void write_file(const std::string& path, const std::string& bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!file.flush()) throw std::runtime_error("can't write " + path);
}

void make_sparse(const std::string& path, unsigned long long size) {
  write_file(path, "");
  std::filesystem::resize_file(path, size);
}

bool exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

std::string sample_bytes(size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  unsigned state = seed * 2654435761u + 1;
  for (char& byte : bytes) {
    state = state * 1103515245u + 12345u;
    byte = static_cast<char>(state >> 24);
  }
  return bytes;
}

std::string le32(int value) {
  const auto bits = static_cast<unsigned>(value);
  return {static_cast<char>(bits), static_cast<char>(bits >> 8), static_cast<char>(bits >> 16),
          static_cast<char>(bits >> 24)};
}

std::string delta_bytes(int length, const std::vector<std::pair<int, std::string>>& records, bool ended) {
  std::string delta = le32(length);
  for (const auto& [offset, data] : records) delta += le32(offset) + le32(static_cast<int>(data.size())) + data;
  return ended ? delta + le32(-1) : delta;
}

std::string copy_transcript(const std::string& in_name, int size, const std::vector<int>& failed_blocks) {
  const int total = (size + 32767) / 32768;
  std::string transcript = "copying " + std::to_string(size) + " bytes from '" + in_name + "'\n";
  int failed = 0;
  for (int block = 0; block < total; ++block) {
    failed += static_cast<int>(std::count(failed_blocks.begin(), failed_blocks.end(), block));
    transcript += std::to_string(block + 1) + " of " + std::to_string(total) + " blocks tried, " +
                  std::to_string(failed) + " failed\r";
  }
  return transcript + "\n";
}

TempDir::TempDir() : path_(make_temp_dir("valmerk-test")) {}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

SmallDisk::SmallDisk(long size_bytes) : dir_(make_temp_dir("valmerk-disk")) {
  const std::string options = "size=" + std::to_string(size_bytes);
  if (mount("tmpfs", dir_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) != 0)
    error_ = "can't mount a tmpfs (" + std::string(std::strerror(errno)) + "); full-disk tests need root";
}

SmallDisk::~SmallDisk() {
  if (mounted()) umount2(dir_.c_str(), MNT_DETACH);
  rmdir(dir_.c_str());
}

void SmallDisk::fill() const {
  const int fd = open((*this / "filler").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  const std::string chunk(4096, 'f');
  while (write(fd, chunk.data(), chunk.size()) > 0) {
  }
  close(fd);
}

namespace {

Outcome run_program(const std::vector<std::string>& argv) {
  return run_in_child([&] {
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  });
}

}  // namespace

LoopDevice::LoopDevice(const std::string& image) : image_(image) {
  if (testing_windows()) {
    error_ = "wine reads a block device as a file of 0 bytes";
    return;
  }
  const Outcome attached = run_program({"losetup", "--find", "--show", image});
  if (attached.status != 0) {
    error_ = "no loop device to be had (losetup --find failed)";
    return;
  }
  device_ = attached.out.substr(0, attached.out.find('\n'));
}

LoopDevice::~LoopDevice() {
  if (mounted()) run_program({"losetup", "--detach", device_});
}

void LoopDevice::shrink(long size_bytes) const {
  std::filesystem::resize_file(image_, static_cast<std::uintmax_t>(size_bytes));
  run_program({"losetup", "--set-capacity", device_});
}

BadDisc::BadDisc(const std::string& image, const std::vector<Range>& bad) : dir_(make_temp_dir("valmerk-disc")) {
  file_ = dir_ + "/" + std::filesystem::path(image).filename().string();
  if (access("/dev/fuse", R_OK | W_OK) != 0) {
    error_ = "/dev/fuse is missing or not usable, so no damaged disc can be mounted";
    return;
  }
  std::vector<std::string> argv{BADFS_BINARY, image, dir_};
  for (const Range& range : bad) argv.push_back(std::to_string(range.start) + "-" + std::to_string(range.end));
  const std::string log = dir_ + ".log";
  server_ = spawn(argv, -1, log, log);

  struct stat parent;
  stat("/tmp", &parent);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline) {
    struct stat mounted_dir;
    if (stat(dir_.c_str(), &mounted_dir) == 0 && mounted_dir.st_dev != parent.st_dev && exists(file_)) {
      std::remove(log.c_str());
      return;
    }
    int wait_status = 0;
    if (waitpid(server_, &wait_status, WNOHANG) == server_) {
      server_ = -1;
      error_ = "badfs could not mount the damaged disc: " + read_file(log);
      std::remove(log.c_str());
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  error_ = "badfs did not mount the damaged disc within 10 seconds";
}

BadDisc::~BadDisc() {
  if (server_ > 0) {
    if (umount2(dir_.c_str(), 0) != 0) umount2(dir_.c_str(), MNT_DETACH);
    // badfs ends once its mount is gone; one that doesn't is ended.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    int wait_status = 0;
    while (waitpid(server_, &wait_status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) {
        kill(server_, SIGKILL);
        waitpid(server_, &wait_status, 0);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  rmdir(dir_.c_str());
  std::remove((dir_ + ".log").c_str());
}
