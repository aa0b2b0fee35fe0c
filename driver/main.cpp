#include "driver/command_line.h"
#include "recio/host/host.h"
#include "recio/units.h"

int main(int argc, char **argv) {
  recio::host::command_line(argc, argv);
  recio::initialize_runtime(argc, argv);
  driver::run_command_line(argc, argv);
}
