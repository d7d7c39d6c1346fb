#include "salvage/error_log.h"

#include <climits>
#include <cstring>

#include "cli/fatal.h"
#include "cli/file_ops.h"

void log_append(std::FILE* log, int offset) {
  if (std::fprintf(log, "%d\n", offset) < 0) fatal("write error (disk full?)\n");
  must_flush(log);
}

void log_finish(std::FILE* log) {
  if (std::fprintf(log, "%s\n", END_MARKER) < 0) fatal("write error (disk full?)\n");
  must_flush(log);
}

static bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// Reads a decimal number after optional white space and sign, clamped to the
// 32-bit range, as strtol would for a 32-bit long; false if there is no digit.
static bool parse_number(const char* text, int& value) {
  while (is_space(*text)) ++text;
  const bool negative = *text == '-';
  if (*text == '-' || *text == '+') ++text;
  if (*text < '0' || *text > '9') return false;
  // The magnitude stops growing past the 32-bit range, so it can't overflow.
  const long long limit = negative ? -static_cast<long long>(INT_MIN) : INT_MAX;
  long long magnitude = 0;
  for (; *text >= '0' && *text <= '9'; ++text)
    if (magnitude <= limit) magnitude = magnitude * 10 + (*text - '0');
  if (magnitude > limit) magnitude = limit;
  value = static_cast<int>(negative ? -magnitude : magnitude);
  return true;
}

std::optional<int> log_next_entry(std::FILE* log, const char* name, int& line_number) {
  char line[LOG_LINE_MAX];
  // msvcrt's fgets returns the part of a line it read before a read error, so
  // the error indicator is what tells a failed read from a short last line.
  const bool got_line = std::fgets(line, LOG_LINE_MAX, log) != nullptr;
  if (std::ferror(log)) fatal("read error (failed to read line %d from %s)\n", line_number + 1, name);
  if (!got_line) return std::nullopt;
  ++line_number;
  int offset = 0;
  if (parse_number(line, offset)) return offset;
  if (std::strncmp(line, END_MARKER, std::strlen(END_MARKER)) == 0) return std::nullopt;
  fatal("bad log file (unexpected contents in line %d)\n", line_number);
}
