#pragma once

#include <cstdio>

// A delta file is the length of the intact file, then records of offset, block
// length and that many bytes, then DELTA_END where the next offset would stand.
// Every number is a 32-bit signed integer stored least significant byte first.
constexpr int DELTA_END = -1;

void delta_write_header(std::FILE* delta, int length);
void delta_write_record(std::FILE* delta, int offset, int block_length, const unsigned char* data);
void delta_write_end(std::FILE* delta);

// Reads the header and returns the length it records. A delta cut short ends
// with the read-error message naming name, here and in delta_read_record.
int delta_read_header(std::FILE* delta, const char* name);

// Reads the next record whole, its data into block (BLOCK_SIZE bytes), and
// returns true; returns false at DELTA_END. A block length outside 0 to
// BLOCK_SIZE ends with "bad block length" before any data is read. The offset
// is left for the caller to check.
bool delta_read_record(std::FILE* delta, const char* name, int& offset, int& block_length, unsigned char* block);
