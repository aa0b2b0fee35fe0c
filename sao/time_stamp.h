// The time-stamp text and the record's listing line.
#pragma once

namespace sao {

// Copies group 3 into the time-stamp text and writes its listing line,
// YYYY.MM.DD (DDD) HH:MM:SS, to the list file.
void write_listing_line();

} // namespace sao
