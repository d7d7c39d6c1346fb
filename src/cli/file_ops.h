#pragma once

#include <cstdio>

// Bytes in one block: the unit of --copy and the largest block of a delta record.
constexpr int BLOCK_SIZE = 32768;

// Files are measured and positioned in signed 32-bit values, so they must stay below 2^31 bytes.
constexpr long long FILE_LENGTH_LIMIT = 2147483647;

// Opens path with the stdio mode, or ends with "failed to open".
std::FILE* must_open(const char* path, const char* mode);

// Reads count bytes at the stream's position. A short read, whether end of file
// or a read error, ends with the read-error message naming name. A count of 0
// reads nothing.
void must_read(void* buffer, int count, std::FILE* stream, const char* name);

// Writes count bytes. A short write ends with the write-error message. Bytes the
// stream only buffers are checked later, by the next write or by must_close.
void must_write(const void* buffer, int count, std::FILE* stream);

// Writes out what the stream buffered, or ends with the write-error message.
// The stream's error indicator is checked too: msvcrt reports a flush that
// failed only there, and returns success.
void must_flush(std::FILE* stream);

// Flushes and closes a stream that was written to; a failure at this last
// moment is a write error like any other.
void must_close(std::FILE* stream);

int min_int(int a, int b);

// Seeks to the end and returns the position, which the stream is left at. Ends
// with "failed to find the length" where the stream can't seek (a pipe), and
// with "is too large" from FILE_LENGTH_LIMIT + 1 bytes on.
int must_find_length(std::FILE* stream, const char* name);

// Positions the stream at offset from the start; false if the seek failed.
bool seek_to(std::FILE* stream, int offset);

// Positions the stream at offset from the start, or ends with "failed to seek".
// A seek first writes out what the stream buffered, and a failure there is a
// write error.
void must_seek(std::FILE* stream, int offset, const char* name);

// Ends with "are the same file" if the two names reach one file, through links
// or not, or would create the same file. Names are printed as given.
void refuse_same_file(const char* first, const char* second);
