#include "delta/delta_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "cli/file_ops.h"
#include "test_util.h"

namespace {

std::string bytes(const std::vector<int>& values) {
  std::string result;
  for (const int value : values) result += static_cast<char>(value);
  return result;
}

// Writes a delta through the writer and returns its bytes.
std::string written(int length, const std::vector<std::pair<int, std::string>>& records) {
  TempDir dir;
  const Outcome outcome = run_in_child([&] {
    std::FILE* delta = must_open((dir / "delta").c_str(), "wb+");
    delta_write_header(delta, length);
    for (const auto& [offset, data] : records)
      delta_write_record(delta, offset, static_cast<int>(data.size()),
                         reinterpret_cast<const unsigned char*>(data.data()));
    delta_write_end(delta);
    must_close(delta);
  });
  EXPECT_EQ(outcome.status, 0);
  return read_file(dir / "delta");
}

// Reads a delta through the reader and tells what it saw, one line per field,
// or the message it ended the process with.
Outcome read_back(const std::string& delta_bytes) {
  TempDir dir;
  write_file(dir / "delta", delta_bytes);
  return run_in_child([&] {
    std::FILE* delta = must_open((dir / "delta").c_str(), "rb");
    std::printf("length %d\n", delta_read_header(delta, "DELTA"));
    static unsigned char block[BLOCK_SIZE];
    int offset = 0;
    int block_length = 0;
    while (delta_read_record(delta, "DELTA", offset, block_length, block))
      std::printf("record %d %d %s\n", offset, block_length,
                  std::string(reinterpret_cast<char*>(block), static_cast<size_t>(block_length)).c_str());
    std::printf("end\n");
  });
}

TEST(DeltaWriter, EmptyDeltaIsHeaderAndEnd) {
  EXPECT_EQ(written(300, {}), bytes({0x2C, 0x01, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST(DeltaWriter, NumbersAreLittleEndian) {
  EXPECT_EQ(written(0x7F3E2D1C, {}).substr(0, 4), bytes({0x1C, 0x2D, 0x3E, 0x7F}));
}

TEST(DeltaWriter, FullBlockRecord) {
  const std::string data = sample_bytes(BLOCK_SIZE, 1);
  const std::string delta = written(3 * BLOCK_SIZE, {{2 * BLOCK_SIZE, data}});
  EXPECT_EQ(delta, bytes({0x00, 0x80, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x80, 0x00, 0x00}) + data +
                       bytes({0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(delta.size(), 4 + 8 + 32768 + 4u);
}

TEST(DeltaWriter, ZeroLengthRecord) {
  EXPECT_EQ(written(300, {{300, ""}}), bytes({0x2C, 0x01, 0, 0, 0x2C, 0x01, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST(DeltaReader, ReadsWhatTheWriterWrote) {
  const Outcome outcome = read_back(written(70000, {{0, "abc"}, {69999, "z"}, {5, ""}, {0, "abd"}}));
  EXPECT_EQ(outcome.out, "length 70000\nrecord 0 3 abc\nrecord 69999 1 z\nrecord 5 0 \nrecord 0 3 abd\nend\n");
  EXPECT_EQ(outcome.status, 0);
}

struct InvalidDelta {
  const char* name;
  std::string bytes;
  std::string seen;
};

void PrintTo(const InvalidDelta& row, std::ostream* os) { *os << row.name; }

const std::string HEADER = bytes({10, 0, 0, 0});
const std::string END = bytes({0xFF, 0xFF, 0xFF, 0xFF});
const std::string AT_ZERO = bytes({0, 0, 0, 0});

const InvalidDelta kInvalidDeltas[] = {
    {"empty", "", "fatal: read error (failed to read 4 bytes from DELTA)\n"},
    {"header_cut", bytes({10, 0}), "fatal: read error (failed to read 4 bytes from DELTA)\n"},
    {"no_end", HEADER, "length 10\nfatal: read error (failed to read 4 bytes from DELTA)\n"},
    {"length_past_a_block", HEADER + AT_ZERO + bytes({0x01, 0x80, 0, 0}) + END,
     "length 10\nfatal: bad block length 32769 found in delta 'DELTA' (broken delta file?)\n"},
    {"negative_length", HEADER + AT_ZERO + bytes({0xFB, 0xFF, 0xFF, 0xFF}) + END,
     "length 10\nfatal: bad block length -5 found in delta 'DELTA' (broken delta file?)\n"},
    {"largest_length", HEADER + AT_ZERO + bytes({0xFF, 0xFF, 0xFF, 0x7F}),
     "length 10\nfatal: bad block length 2147483647 found in delta 'DELTA' (broken delta file?)\n"},
    {"data_cut", HEADER + AT_ZERO + bytes({5, 0, 0, 0}) + "abc",
     "length 10\nfatal: read error (failed to read 5 bytes from DELTA)\n"},
    {"end_cut", HEADER + AT_ZERO + bytes({1, 0, 0, 0}) + "x" + bytes({0xFF, 0xFF}),
     "length 10\nrecord 0 1 x\nfatal: read error (failed to read 4 bytes from DELTA)\n"},
    // The reader stops at the end; what follows is never looked at.
    {"bytes_after_end", HEADER + END + "garbage", "length 10\nend\n"},
};

class DeltaReaderTest : public testing::TestWithParam<InvalidDelta> {};

TEST_P(DeltaReaderTest, Reads) {
  const Outcome outcome = read_back(GetParam().bytes);
  EXPECT_EQ(outcome.out, GetParam().seen);
  EXPECT_EQ(outcome.status, outcome.out.find("fatal: ") == std::string::npos ? 0 : 1);
}

INSTANTIATE_TEST_SUITE_P(Table, DeltaReaderTest, testing::ValuesIn(kInvalidDeltas),
                         [](const auto& row) { return std::string(row.param.name); });

// A delta cut at any length gives every record that lies wholly before the
// cut, then the read error for the field the cut falls in.
TEST(DeltaReader, CutAtEveryLength) {
  const std::string delta = written(10, {{1, "abc"}, {9, ""}, {0, "0123456789"}});
  struct Field {
    size_t size;
    std::string seen_when_whole;
  };
  const std::vector<Field> fields = {
      {4, "length 10\n"},   {4, ""}, {4, ""}, {3, "record 1 3 abc\n"},          {4, ""},
      {4, "record 9 0 \n"}, {4, ""}, {4, ""}, {10, "record 0 10 0123456789\n"}, {4, "end\n"}};
  for (size_t cut = 0; cut <= delta.size(); ++cut) {
    std::string seen;
    size_t field_start = 0;
    for (const Field& field : fields) {
      if (cut < field_start + field.size) {
        seen += "fatal: read error (failed to read " + std::to_string(field.size) + " bytes from DELTA)\n";
        break;
      }
      seen += field.seen_when_whole;
      field_start += field.size;
    }
    EXPECT_EQ(read_back(delta.substr(0, cut)).out, seen) << "cut at " << cut;
  }
}

}  // namespace
