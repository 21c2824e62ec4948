// The least an interface-statistics printer can do, for the headless
// meter's CPU to be compared with on the same machine and in the same
// minute: every 0.5 s it reads /proc/net/dev, finds one interface and
// prints its receive and transmit rates in kbit/s with printf, as small C
// tools of this kind do. No event loop, no library beyond libc.
//
//     stats_printer [interface]   (lo unless given)
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <cstring>

namespace {

bool ReadBytes(const char* name, uint64_t& rx, uint64_t& tx) {
  static char text[16384];
  const int fd = open("/proc/net/dev", O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    return false;
  }
  const ssize_t n = read(fd, text, sizeof text - 1);
  close(fd);
  if (n <= 0) {
    return false;
  }
  text[n] = '\0';
  const size_t length = strlen(name);
  for (char* line = text; line != nullptr; line = strchr(line, '\n')) {
    line += *line == '\n';
    while (*line == ' ') {
      ++line;
    }
    if (strncmp(line, name, length) == 0 && line[length] == ':') {
      uint64_t skip = 0;
      return sscanf(line + length + 1,
                    "%" SCNu64 " %" SCNu64 " %" SCNu64 " %" SCNu64 " %" SCNu64 " %" SCNu64
                    " %" SCNu64 " %" SCNu64 " %" SCNu64,
                    &rx, &skip, &skip, &skip, &skip, &skip, &skip, &skip, &tx) == 9;
    }
  }
  return false;
}

}  // namespace

int main(int argc, char* argv[]) {
  const char* name = argc > 1 ? argv[1] : "lo";
  uint64_t rx0 = 0, tx0 = 0;
  ReadBytes(name, rx0, tx0);
  timespec next{};
  clock_gettime(CLOCK_MONOTONIC, &next);
  for (;;) {
    next.tv_nsec += 500000000;
    if (next.tv_nsec >= 1000000000) {
      next.tv_nsec -= 1000000000;
      ++next.tv_sec;
    }
    clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
    uint64_t rx = 0, tx = 0;
    if (!ReadBytes(name, rx, tx)) {
      return 1;
    }
    printf("%10.2f %10.2f\n", (rx - rx0) * 8 / 500.0, (tx - tx0) * 8 / 500.0);
    fflush(stdout);
    rx0 = rx;
    tx0 = tx;
  }
}
