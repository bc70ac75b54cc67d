#pragma once

namespace zk {

// Strips trailing characters of code 32 or less (bytes of 128 and above count as
// printable), then turns every remaining tab and carriage return into a blank.
// Used on every line read from a file and on texts read from edit controls.
void CleanLine(char* text);

}  // namespace zk
