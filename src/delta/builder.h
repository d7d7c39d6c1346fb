#pragma once

// --delta IN LOG DELTA: for every offset in the error log LOG, puts the block
// at that offset of the intact IN into DELTA.
void delta_command(char** argv);
