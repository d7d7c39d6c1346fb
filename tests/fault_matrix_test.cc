// Every fault valmerk can meet, one row each: full disks under each file it
// writes, read failures under each file it reads, and hostile logs and broken
// deltas from the network. A row makes its files and its fault, runs valmerk,
// and asserts the exact output, the status and the files afterwards.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "test_util.h"

namespace {

constexpr int BLOCK = 32768;
constexpr long PAGE = 4096;  // tmpfs hands out room a page at a time
const std::string WRITE_ERROR = "fatal: write error (disk full?)\n";

// The files of one row, and the fault media it asked for.
class Scene {
 public:
  std::string operator/(const std::string& name) const { return dir_ / name; }

  std::string write(const std::string& name, const std::string& bytes) const {
    write_file(dir_ / name, bytes);
    return dir_ / name;
  }

  // A tmpfs with room_bytes free (0: none at all); returns the path of name on it.
  std::string disk(long room_bytes, const std::string& name) {
    disks_.push_back(std::make_unique<SmallDisk>(room_bytes > 0 ? room_bytes : PAGE));
    if (!disks_.back()->mounted()) skip_reason = disks_.back()->error();
    if (room_bytes == 0) disks_.back()->fill();
    return *disks_.back() / name;
  }

  // bytes served as name through badfs with the ranges unreadable; returns the damaged file's path.
  std::string bad_disc(const std::string& name, const std::string& bytes, const std::vector<BadDisc::Range>& bad) {
    if (testing_windows())
      skip_reason = "not run against the Windows build: it needs a damaged disc, which is Linux's FUSE";
    discs_.push_back(std::make_unique<BadDisc>(write(name, bytes), bad));
    if (!discs_.back()->mounted()) skip_reason = discs_.back()->error();
    return discs_.back()->file();
  }

  std::string skip_reason;
  // The row's files by path, as far as its command uses them.
  std::string in, out, log, delta, file;

 private:
  TempDir dir_;
  std::vector<std::unique_ptr<SmallDisk>> disks_;
  std::vector<std::unique_ptr<BadDisc>> discs_;
};

struct Fault {
  const char* name;
  // Makes the files and the fault, and returns valmerk's arguments.
  std::function<std::vector<std::string>(Scene&)> setup;
  // What valmerk must print.
  std::function<std::string(const Scene&)> out;
  int status;
  // What the files must hold afterwards.
  std::function<void(const Scene&)> files;
};

void PrintTo(const Fault& row, std::ostream* os) { *os << row.name; }

std::vector<std::string> copy(const Scene& s) { return {"--copy", s.in, s.out, s.log}; }
std::vector<std::string> delta(const Scene& s) { return {"--delta", s.in, s.log, s.delta}; }
std::vector<std::string> patch(const Scene& s) { return {"--patch", s.file, s.delta}; }

// The copying line and the first progress lines of a copy of size bytes.
std::string copy_start(const std::string& in, int size, const std::vector<int>& failed, int progress_lines) {
  const std::string whole = copy_transcript(in, size, failed);
  size_t end = whole.find('\n') + 1;
  for (int line = 0; line < progress_lines; ++line) end = whole.find('\r', end) + 1;
  return whole.substr(0, end);
}

// Copies of IN_BYTES, four blocks.
const std::string IN_BYTES = sample_bytes(4 * BLOCK, 31);

// Copies where every block fails, so that each block logs an entry.
std::vector<int> first_blocks(int count) {
  std::vector<int> blocks;
  for (int block = 0; block < count; ++block) blocks.push_back(block);
  return blocks;
}

std::string log_of(const std::vector<int>& blocks) {
  std::string log;
  for (const int block : blocks) log += std::to_string(block * BLOCK) + "\n";
  return log;
}

void copy_every_block_failing(Scene& s, int blocks) {
  s.in = s.bad_disc("disc.iso", std::string(static_cast<size_t>(blocks) * BLOCK, 'd'),
                    {{0, static_cast<long>(blocks) * BLOCK}});
  s.out = s / "out";
}

// The number of entries that fit whole in a page when every block fails.
const int ENTRIES_IN_A_PAGE = [] {
  int entries = 0;
  while (static_cast<long>(log_of(first_blocks(entries + 1)).size()) <= PAGE) ++entries;
  return entries;
}();

// Deltas from INTACT, eight blocks.
const std::string INTACT = sample_bytes(8 * BLOCK, 32);

std::string intact_block(int block) { return INTACT.substr(static_cast<size_t>(block) * BLOCK, BLOCK); }

std::string delta_of(const std::vector<int>& blocks, bool ended = true) {
  std::vector<std::pair<int, std::string>> records;
  for (const int block : blocks) records.emplace_back(block * BLOCK, intact_block(block));
  return delta_bytes(8 * BLOCK, records, ended);
}

void delta_from_intact(Scene& s, const std::vector<int>& blocks) {
  s.in = s.write("in", INTACT);
  s.log = s.write("log", log_of(blocks) + "--eof--\n");
}

// Patches of a FILE of eight blocks, sparse on a disk with room bytes free.
void patch_sparse(Scene& s, long room, const std::vector<std::pair<int, std::string>>& records) {
  s.file = s.disk(room, "file");
  make_sparse(s.file, 8 * BLOCK);
  s.delta = s.write("delta", delta_bytes(8 * BLOCK, records));
}

void expect_file(const Scene& s, const std::vector<int>& patched_blocks) {
  std::string file(8 * BLOCK, '\0');
  for (const int block : patched_blocks) file.replace(static_cast<size_t>(block) * BLOCK, BLOCK, intact_block(block));
  EXPECT_TRUE(read_file(s.file) == file);
}

std::string write_error(const Scene&) { return WRITE_ERROR; }

const Fault kFaults[] = {
    // OUT on a full disk.
    {"out_full_at_the_first_write",
     [](Scene& s) {
       s.in = s.write("in", IN_BYTES), s.out = s.disk(0, "out"), s.log = s / "log";
       return copy(s);
     },
     [](const Scene& s) { return copy_start(s.in, 4 * BLOCK, {}, 0) + WRITE_ERROR; }, 1,
     [](const Scene& s) {
       EXPECT_EQ(read_file(s.out), "");
       EXPECT_EQ(read_log(s.log), "");
     }},
    {"out_full_in_the_middle",
     [](Scene& s) {
       s.in = s.write("in", IN_BYTES), s.out = s.disk(2 * BLOCK, "out"), s.log = s / "log";
       return copy(s);
     },
     [](const Scene& s) { return copy_start(s.in, 4 * BLOCK, {}, 2) + WRITE_ERROR; }, 1,
     [](const Scene& s) {
       EXPECT_TRUE(read_file(s.out) == IN_BYTES.substr(0, 2 * BLOCK));
       EXPECT_EQ(read_log(s.log), "");
     }},
    {"out_full_at_the_last_block",
     [](Scene& s) {
       s.in = s.write("in", IN_BYTES), s.out = s.disk(3 * BLOCK, "out"), s.log = s / "log";
       return copy(s);
     },
     [](const Scene& s) { return copy_start(s.in, 4 * BLOCK, {}, 3) + WRITE_ERROR; }, 1,
     [](const Scene& s) {
       EXPECT_TRUE(read_file(s.out) == IN_BYTES.substr(0, 3 * BLOCK));
       EXPECT_EQ(read_log(s.log), "");
     }},
    // OUT is unbuffered, so nothing is left to fail only at close: even a short
    // last block fails at its own write.
    {"out_full_at_a_short_last_block",
     [](Scene& s) {
       s.in = s.write("in", IN_BYTES.substr(0, BLOCK + 5)), s.out = s.disk(BLOCK, "out"), s.log = s / "log";
       return copy(s);
     },
     [](const Scene& s) { return copy_start(s.in, BLOCK + 5, {}, 1) + WRITE_ERROR; }, 1,
     [](const Scene& s) {
       EXPECT_TRUE(read_file(s.out) == IN_BYTES.substr(0, BLOCK));
       EXPECT_EQ(read_log(s.log), "");
     }},
    {"out_is_dev_full",
     [](Scene& s) {
       s.in = s.write("in", IN_BYTES), s.out = "/dev/full", s.log = s / "log";
       return copy(s);
     },
     [](const Scene& s) { return copy_start(s.in, 4 * BLOCK, {}, 0) + WRITE_ERROR; }, 1,
     [](const Scene& s) { EXPECT_EQ(read_log(s.log), ""); }},

    // LOG on a full disk. Every block of IN fails, so each one writes an entry.
    {"log_full_at_the_first_write",
     [](Scene& s) {
       copy_every_block_failing(s, 4), s.log = s.disk(0, "log");
       return copy(s);
     },
     [](const Scene& s) { return copy_start(s.in, 4 * BLOCK, first_blocks(4), 0) + WRITE_ERROR; }, 1,
     [](const Scene& s) {
       EXPECT_EQ(read_file(s.out), "");
       EXPECT_EQ(read_log(s.log), "");
     }},
    {"log_full_in_the_middle",
     [](Scene& s) {
       copy_every_block_failing(s, ENTRIES_IN_A_PAGE + 20), s.log = s.disk(PAGE, "log");
       return copy(s);
     },
     [](const Scene& s) {
       const int blocks = ENTRIES_IN_A_PAGE + 20;
       return copy_start(s.in, blocks * BLOCK, first_blocks(blocks), ENTRIES_IN_A_PAGE) + WRITE_ERROR;
     },
     1,
     [](const Scene& s) {
       // The entry that did not fit is cut where the disk filled up, and the copy reports it.
       EXPECT_EQ(read_log(s.log), log_of(first_blocks(ENTRIES_IN_A_PAGE + 1)).substr(0, PAGE));
       EXPECT_EQ(read_file(s.out), std::string(static_cast<size_t>(ENTRIES_IN_A_PAGE) * BLOCK, '\0'));
     }},
    {"log_full_at_the_last_block",
     [](Scene& s) {
       copy_every_block_failing(s, ENTRIES_IN_A_PAGE + 1), s.log = s.disk(PAGE, "log");
       return copy(s);
     },
     [](const Scene& s) {
       const int blocks = ENTRIES_IN_A_PAGE + 1;
       return copy_start(s.in, blocks * BLOCK, first_blocks(blocks), ENTRIES_IN_A_PAGE) + WRITE_ERROR;
     },
     1,
     [](const Scene& s) { EXPECT_EQ(read_log(s.log), log_of(first_blocks(ENTRIES_IN_A_PAGE + 1)).substr(0, PAGE)); }},
    // A log without its end marker would pass for the log of an interrupted copy.
    {"log_full_at_the_end_marker",
     [](Scene& s) {
       s.in = s.write("in", IN_BYTES), s.out = s / "out", s.log = s.disk(0, "log");
       return copy(s);
     },
     [](const Scene& s) { return copy_start(s.in, 4 * BLOCK, {}, 4) + WRITE_ERROR; }, 1,
     [](const Scene& s) {
       EXPECT_TRUE(read_file(s.out) == IN_BYTES);
       EXPECT_EQ(read_log(s.log), "");
     }},
    {"log_is_dev_full",
     [](Scene& s) {
       s.in = s.write("in", IN_BYTES), s.out = s / "out", s.log = "/dev/full";
       return copy(s);
     },
     [](const Scene& s) { return copy_start(s.in, 4 * BLOCK, {}, 4) + WRITE_ERROR; }, 1,
     [](const Scene& s) { EXPECT_TRUE(read_file(s.out) == IN_BYTES); }},

    // DELTA on a full disk.
    {"delta_full_at_the_first_write",
     [](Scene& s) {
       delta_from_intact(s, {0}), s.delta = s.disk(0, "delta");
       return delta(s);
     },
     write_error, 1, [](const Scene& s) { EXPECT_EQ(read_file(s.delta), ""); }},
    {"delta_full_in_the_middle",
     [](Scene& s) {
       delta_from_intact(s, {0, 1, 2, 3}), s.delta = s.disk(2 * BLOCK, "delta");
       return delta(s);
     },
     write_error, 1,
     [](const Scene& s) {
       EXPECT_TRUE(read_file(s.delta) == delta_of({0, 1, 2, 3}).substr(0, 2 * BLOCK));
     }},
    {"delta_full_at_the_last_block",
     [](Scene& s) {
       // Less room than the first record leaves, so that the last one's own writes fail.
       delta_from_intact(s, {0, 1}), s.delta = s.disk(2 * BLOCK - 2 * PAGE, "delta");
       return delta(s);
     },
     write_error, 1,
     [](const Scene& s) {
       EXPECT_TRUE(read_file(s.delta) == delta_of({0, 1}).substr(0, 2 * BLOCK - 2 * PAGE));
     }},
    {"delta_full_only_at_close",
     [](Scene& s) {
       delta_from_intact(s, {}), s.delta = s.disk(0, "delta");
       return delta(s);
     },
     write_error, 1, [](const Scene& s) { EXPECT_EQ(read_file(s.delta), ""); }},
    {"delta_is_dev_full",
     [](Scene& s) {
       delta_from_intact(s, {}), s.delta = "/dev/full";
       return delta(s);
     },
     write_error, 1, [](const Scene&) {}},

    // FILE on a full disk: it is sparse, so writing into it needs room.
    {"file_full_at_the_first_write",
     [](Scene& s) {
       patch_sparse(s, 0, {{0, intact_block(0)}});
       return patch(s);
     },
     write_error, 1, [](const Scene& s) { expect_file(s, {}); }},
    {"file_full_in_the_middle",
     [](Scene& s) {
       patch_sparse(s, 2 * BLOCK,
                    {{0, intact_block(0)},
                     {2 * BLOCK, intact_block(2)},
                     {4 * BLOCK, intact_block(4)},
                     {6 * BLOCK, intact_block(6)}});
       return patch(s);
     },
     write_error, 1,
     [](const Scene& s) {
       expect_file(s, {0, 2});
     }},
    {"file_full_at_the_last_block",
     [](Scene& s) {
       patch_sparse(s, 2 * BLOCK, {{0, intact_block(0)}, {2 * BLOCK, intact_block(2)}, {4 * BLOCK, intact_block(4)}});
       return patch(s);
     },
     write_error, 1,
     [](const Scene& s) {
       expect_file(s, {0, 2});
     }},
    // A short record stays in the stream's buffer until the seek to the next one writes it out.
    {"file_full_at_the_seek_to_the_next_record",
     [](Scene& s) {
       patch_sparse(s, 0, {{0, "short"}, {2 * BLOCK, "next"}});
       return patch(s);
     },
     write_error, 1, [](const Scene& s) { expect_file(s, {}); }},
    {"file_full_only_at_close",
     [](Scene& s) {
       patch_sparse(s, 0, {{0, "short"}});
       return patch(s);
     },
     write_error, 1, [](const Scene& s) { expect_file(s, {}); }},

    // Read failures. On IN, --copy logs the block and goes on.
    {"copy_in_unreadable",
     [](Scene& s) {
       s.in = s.bad_disc("disc.iso", IN_BYTES, {{BLOCK + 100, BLOCK + 101}}), s.out = s / "out", s.log = s / "log";
       return copy(s);
     },
     [](const Scene& s) { return copy_transcript(s.in, 4 * BLOCK, {1}); }, 0,
     [](const Scene& s) {
       std::string salvaged = IN_BYTES;
       salvaged.replace(BLOCK + 100, BLOCK - 100, std::string(BLOCK - 100, '\0'));
       EXPECT_TRUE(read_file(s.out) == salvaged);
       EXPECT_EQ(read_log(s.log), "32768\n--eof--\n");
     }},
    {"delta_in_unreadable",
     [](Scene& s) {
       delta_from_intact(s, {0, 2}), s.delta = s / "delta";
       s.in = s.bad_disc("disc.iso", INTACT, {{2 * BLOCK + 100, 2 * BLOCK + 101}});
       return delta(s);
     },
     [](const Scene& s) { return "fatal: read error (failed to read 32768 bytes from " + s.in + ")\n"; }, 1,
     [](const Scene& s) {
       EXPECT_TRUE(read_file(s.delta) == delta_bytes(8 * BLOCK, {{0, intact_block(0)}}, false));
     }},
    {"delta_log_unreadable",
     [](Scene& s) {
       delta_from_intact(s, {}), s.delta = s / "delta";
       s.log = s.bad_disc("disc.log", log_of({0, 1, 2}) + "--eof--\n", {{10, 11}});
       return delta(s);
     },
     [](const Scene& s) { return "fatal: read error (failed to read line 3 from " + s.log + ")\n"; }, 1,
     [](const Scene& s) {
       EXPECT_TRUE(read_file(s.delta) == delta_of({0, 1}, false));
     }},
    {"patch_delta_unreadable",
     [](Scene& s) {
       s.file = s.write("file", std::string(8 * BLOCK, '\0'));
       const std::string bytes = delta_of({0, 3});
       s.delta = s.bad_disc("disc.delta", bytes,
                            {{static_cast<long>(bytes.size()) - 100, static_cast<long>(bytes.size()) - 99}});
       return patch(s);
     },
     [](const Scene& s) { return "fatal: read error (failed to read 32768 bytes from " + s.delta + ")\n"; }, 1,
     [](const Scene& s) { expect_file(s, {0}); }},
};

class FaultMatrixTest : public testing::TestWithParam<Fault> {};

TEST_P(FaultMatrixTest, FailsLoudlyAndKeepsWhatWasWritten) {
  const Fault& row = GetParam();
  Scene scene;
  const std::vector<std::string> args = row.setup(scene);
  if (!scene.skip_reason.empty()) GTEST_SKIP() << scene.skip_reason;
  const Outcome outcome = run_valmerk(args);
  EXPECT_EQ(outcome.out, row.out(scene));
  EXPECT_EQ(outcome.err, "");
  EXPECT_EQ(outcome.status, row.status);
  row.files(scene);
}

INSTANTIATE_TEST_SUITE_P(Matrix, FaultMatrixTest, testing::ValuesIn(kFaults),
                         [](const auto& row) { return std::string(row.param.name); });

// Hostile logs, as --delta meets them: it must stop at the first line it can't
// take, or take what it can, and never build a record outside IN.
struct HostileLog {
  const char* name;
  std::string log;
  std::vector<int> offsets;  // the records DELTA gets, by offset into INTACT
  std::string error;         // the fatal message, or empty where --delta succeeds
};

void PrintTo(const HostileLog& row, std::ostream* os) { *os << row.name; }

std::string unexpected(int line) {
  return "fatal: bad log file (unexpected contents in line " + std::to_string(line) + ")\n";
}

std::string beyond(const std::string& offset) {
  return "fatal: bad log file (offset " + offset + " greater than IN length 262144)\n";
}

const HostileLog kHostileLogs[] = {
    {"line_of_254_characters", "0" + std::string(253, ' ') + "\n--eof--\n", {0}, ""},
    // The reader takes 255 characters at a time: the rest of a longer line is a line of its own.
    {"line_of_255_characters", "0" + std::string(254, ' ') + "\n--eof--\n", {0}, unexpected(2)},
    {"line_of_256_characters", "0" + std::string(255, ' ') + "\n--eof--\n", {0}, unexpected(2)},
    {"line_of_10000_digits", std::string(10000, '1') + "\n", {}, beyond("2147483647")},
    {"line_of_10000_spaces", std::string(10000, ' ') + "5\n", {}, unexpected(1)},
    {"nul_after_a_number", std::string("32768\0garbage\n--eof--\n", 22), {32768}, ""},
    {"nul_first",
     std::string("\0"
                 "32768\n",
                 7),
     {},
     unexpected(1)},
    // A CR alone does not end a line, so what follows it on the line is ignored.
    {"cr_alone_between_entries", "0\r32768\r--eof--\r", {0}, ""},
    {"cr_alone_on_a_line", "0\n\r\n--eof--\n", {0}, unexpected(2)},
    {"past_2_31", "2147483648\n", {}, beyond("2147483647")},
    {"past_2_63", "9223372036854775808\n", {}, beyond("2147483647")},
    {"below_minus_2_63", "-9223372036854775809\n", {}, beyond("-2147483648")},
    {"non_ascii_line", "\xC3\xA9t\xC3\xA9\n", {}, unexpected(1)},
    {"non_ascii_after_a_number", "65536\xE2\x80\x94\xFF\n--eof--\n", {65536}, ""},
    {"byte_order_mark",
     "\xEF\xBB\xBF"
     "0\n",
     {},
     unexpected(1)},
};

class HostileLogTest : public testing::TestWithParam<HostileLog> {};

TEST_P(HostileLogTest, DeltaTakesOnlyWhatIsValid) {
  const HostileLog& row = GetParam();
  TempDir dir;
  write_file(dir / "in", INTACT);
  write_file(dir / "log", row.log);
  const Outcome outcome = run_valmerk({"--delta", dir / "in", dir / "log", dir / "delta"});
  EXPECT_EQ(outcome.out, row.error.empty() ? "delta file '" + dir / "delta" + "' created succesfully\n" : row.error);
  EXPECT_EQ(outcome.err, "");
  EXPECT_EQ(outcome.status, row.error.empty() ? 0 : 1);
  std::vector<std::pair<int, std::string>> records;
  for (const int offset : row.offsets) records.emplace_back(offset, INTACT.substr(static_cast<size_t>(offset), BLOCK));
  EXPECT_TRUE(read_file(dir / "delta") == delta_bytes(8 * BLOCK, records, row.error.empty()));
}

INSTANTIATE_TEST_SUITE_P(Matrix, HostileLogTest, testing::ValuesIn(kHostileLogs),
                         [](const auto& row) { return std::string(row.param.name); });

// Broken deltas. Whatever the bytes, --patch ends with success or with one of
// its messages, never changes FILE's length, and never changes a byte that no
// record read whole covers.
struct Span {
  size_t start;
  size_t end;
};

int le32_at(const std::string& bytes, size_t at) {
  unsigned value = 0;
  for (size_t i = 0; i < 4; ++i) value |= static_cast<unsigned>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
  return static_cast<int>(value);
}

// The spans of FILE that the delta's records read whole cover, up to the first
// field that is cut short or out of range.
std::vector<Span> whole_records(const std::string& delta, size_t file_size) {
  std::vector<Span> spans;
  if (delta.size() < 4 || le32_at(delta, 0) != static_cast<int>(file_size)) return spans;
  for (size_t at = 4; at + 8 <= delta.size();) {
    const int offset = le32_at(delta, at);
    const int length = le32_at(delta, at + 4);
    if (offset == -1 || length < 0 || length > BLOCK || at + 8 + static_cast<size_t>(length) > delta.size()) break;
    if (offset >= 0)
      spans.push_back({static_cast<size_t>(offset), static_cast<size_t>(offset) + static_cast<size_t>(length)});
    at += 8 + static_cast<size_t>(length);
  }
  return spans;
}

void expect_sound_patch(const std::string& delta, const std::string& trace) {
  SCOPED_TRACE(trace);
  TempDir dir;
  const std::string file(3 * BLOCK + 100, 'f');
  write_file(dir / "file", file);
  write_file(dir / "delta", delta);
  const Outcome outcome = run_valmerk({"--patch", dir / "file", dir / "delta"});
  static const std::regex documented(
      "target file '.*' patched succesfully\n|"
      "fatal: read error \\(failed to read [0-9]+ bytes from .*\\)\n|"
      "fatal: bad block length -?[0-9]+ found in delta '.*' \\(broken delta file\\?\\)\n|"
      "fatal: bad block offset -?[0-9]+ found in delta '.*' \\(broken delta file\\?\\)\n|"
      "fatal: file lengths are different \\(original=-?[0-9]+, patched=[0-9]+\\)\n");
  EXPECT_TRUE(std::regex_match(outcome.out, documented)) << outcome.out;
  EXPECT_EQ(outcome.status, outcome.out.find("fatal: ") == 0 ? 1 : 0);
  EXPECT_EQ(outcome.err, "");
  const std::string after = read_file(dir / "file");
  ASSERT_EQ(after.size(), file.size());
  const std::vector<Span> spans = whole_records(delta, file.size());
  for (size_t at = 0; at < file.size(); ++at) {
    if (after[at] == file[at]) continue;
    const bool covered = std::any_of(spans.begin(), spans.end(), [&](Span s) { return s.start <= at && at < s.end; });
    ASSERT_TRUE(covered) << "byte " << at << " changed outside every record read whole";
  }
}

// Small records keep a run at every length quick; the last one is a full block.
const std::string SMALL_DELTA =
    delta_bytes(3 * BLOCK + 100, {{0, "first"}, {3 * BLOCK + 100, ""}, {3 * BLOCK + 90, "tenbytes!!"}, {BLOCK, "x"}});

TEST(BrokenDelta, CutAtEveryLength) {
  for (size_t cut = 0; cut <= SMALL_DELTA.size(); ++cut)
    expect_sound_patch(SMALL_DELTA.substr(0, cut), "cut at " + std::to_string(cut));
}

TEST(BrokenDelta, RandomBitFlips) {
  const std::string intact = delta_bytes(
      3 * BLOCK + 100, {{0, sample_bytes(BLOCK, 33)}, {2 * BLOCK, "two"}, {3 * BLOCK + 50, sample_bytes(50, 34)}});
  for (unsigned seed = 1; seed <= 300; ++seed) {
    std::mt19937 random(seed);
    std::string delta = seed % 2 ? intact : SMALL_DELTA;
    // Flips land in the numbers more often than chance would put them there.
    std::uniform_int_distribution<size_t> anywhere(0, seed % 3 ? 40 : delta.size() - 1);
    for (int flips = std::uniform_int_distribution<int>(1, 4)(random); flips > 0; --flips)
      delta[anywhere(random) % delta.size()] ^=
          static_cast<char>(1 << std::uniform_int_distribution<int>(0, 7)(random));
    expect_sound_patch(delta, "seed " + std::to_string(seed));
  }
}

}  // namespace
