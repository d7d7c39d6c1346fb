#include "cli/command_line.h"

int main(int argc, char** argv) { return valmerk_main(argc, argv); }
