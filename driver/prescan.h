#pragma once

namespace driver {

// Reports the first blank line, NUL or "*" among the input's first 9999
// lines, on the console and in the list file.
void prescan();

} // namespace driver
