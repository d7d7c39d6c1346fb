#pragma once

// --patch FILE DELTA: writes every block of DELTA into FILE at its offset, in
// place, once DELTA's recorded length matches FILE's. A record that would
// reach outside FILE ends the patch before any of it is written.
void patch_command(char** argv);
