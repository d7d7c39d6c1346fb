#pragma once

// The program's entry: checks the argument count, then runs one command, prints
// the usage text, or prints the internal-error message. Returns 0 whenever it
// returns; a command that fails ends the process with status 1 itself.
int valmerk_main(int argc, char** argv);
