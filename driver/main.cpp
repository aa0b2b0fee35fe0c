#include "driver/program_flow.h"
#include "recio/host/host.h"
#include "recio/units.h"

int main(int argc, char **argv) {
  recio::host::command_line(argc, argv);
  recio::initialize_runtime(argc, argv);
  driver::run_program();
}
