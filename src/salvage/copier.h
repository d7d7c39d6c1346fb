#pragma once

// --copy IN OUT LOG: reads IN block by block into OUT, which ends as long as IN,
// and logs the offset of every block that could not be read whole. The bytes a
// failed block did not deliver are zeros in OUT.
void copy_command(char** argv);
