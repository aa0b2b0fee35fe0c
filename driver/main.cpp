#include "driver/command_line.h"
#include "recio/units.h"

int main(int argc, char **argv) {
  recio::initialize_runtime(argc, argv);
  driver::run_command_line(argc, argv);
}
