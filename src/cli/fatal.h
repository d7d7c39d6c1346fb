#pragma once

// Prints "fatal: " and the formatted message to standard output, then ends the
// process with status 1. exit() flushes every open stream, so whatever a command
// wrote before the failure stays in its files.
[[noreturn]] void fatal(const char* format, ...) __attribute__((format(printf, 1, 2)));
