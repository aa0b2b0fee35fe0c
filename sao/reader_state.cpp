#include "sao/reader_state.h"

namespace sao {

namespace {
ReaderState g_reader;
}

ReaderState &reader() { return g_reader; }

void reset_reader() { g_reader = ReaderState{}; }

} // namespace sao
