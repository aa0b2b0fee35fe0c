/* The floor of the many-files benchmark: opens, reads and closes every file
 * named on the command line, as a program that only takes the bytes in
 * would. Exit status 1 when a file cannot be read. */
#include <fcntl.h>
#include <unistd.h>

static char buffer[256 * 1024];

int main(int argc, char **argv) {
  int status = 0;
  for (int i = 1; i < argc; ++i) {
    const int fd = open(argv[i], O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      status = 1;
      continue;
    }
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0) {
    }
    if (n < 0) status = 1;
    close(fd);
  }
  return status;
}
