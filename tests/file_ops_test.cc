#include "cli/file_ops.h"

#include <gtest/gtest.h>

#include "test_util.h"

namespace {

TEST(MustRead, ShortReadAtEndOfFileIsFatal) {
  TempDir dir;
  write_file(dir / "two", "ab");
  const Outcome outcome = run_in_child([&] {
    std::FILE* stream = must_open((dir / "two").c_str(), "rb");
    char buffer[4];
    must_read(buffer, 0, stream, "NAME");
    must_read(buffer, 4, stream, "NAME");
    std::printf("not reached\n");
  });
  EXPECT_EQ(outcome.out, "fatal: read error (failed to read 4 bytes from NAME)\n");
  EXPECT_EQ(outcome.status, 1);
}

TEST(MustOpen, MissingFileIsFatal) {
  const Outcome outcome = run_in_child([] { must_open("/nonexistent/file", "rb"); });
  EXPECT_EQ(outcome.out, "fatal: failed to open '/nonexistent/file'\n");
  EXPECT_EQ(outcome.status, 1);
}

TEST(MustClose, BufferedBytesThatFailAtCloseAreAWriteError) {
  const Outcome outcome = run_in_child([] {
    std::FILE* full = must_open("/dev/full", "wb+");
    must_write("x", 1, full);  // only buffered: the write itself can't fail yet
    std::printf("written\n");
    must_close(full);
    std::printf("not reached\n");
  });
  EXPECT_EQ(outcome.out, "written\nfatal: write error (disk full?)\n");
  EXPECT_EQ(outcome.status, 1);
}

TEST(MinInt, ComparesSigned) {
  EXPECT_EQ(min_int(-1, 1), -1);
  EXPECT_EQ(min_int(32768, 10), 10);
  EXPECT_EQ(min_int(-2147483647 - 1, 2147483647), -2147483647 - 1);
}

}  // namespace
