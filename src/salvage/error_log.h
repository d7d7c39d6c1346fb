#pragma once

#include <cstdio>
#include <optional>

// The error log is a text file: one line per failed block holding its offset in
// decimal, then the end marker. Text mode makes its lines end in CR LF on Windows;
// the reader takes both endings, since it ignores whatever follows a number.
constexpr const char END_MARKER[] = "--eof--";

// Bytes of the line buffer, its terminating NUL included: a longer line is read
// in pieces, each taken as a line of its own.
constexpr int LOG_LINE_MAX = 256;

// Appends one entry and flushes it, so that a copy that is cut off keeps its
// list of failed blocks. A failed write or flush ends with the write-error message.
void log_append(std::FILE* log, int offset);

// Appends the end marker, which tells a complete log from an interrupted one.
void log_finish(std::FILE* log);

// Reads the next entry and counts the line in line_number. Returns nothing at
// the end marker and at end of file: a log cut short is read as far as it goes.
// A line cut inside a number yields the digits before the cut; numbers clamp at
// the 32-bit limits. Ends with "unexpected contents" for any other line, and
// with the read-error message naming name when reading the log fails.
std::optional<int> log_next_entry(std::FILE* log, const char* name, int& line_number);
