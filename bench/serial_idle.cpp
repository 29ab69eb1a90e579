// CPU used by the port while a read waits for bytes that never come: opens the slave of a
// pseudo-terminal, reads one byte under a 1 s time-out, and prints the CPU time it cost.
#include <pty.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

#include <cstdlib>

#include "serial/serial_port.h"

namespace {

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = argc > 1 ? std::atoi(argv[1]) : 3;
  int master = -1, slave = -1;
  char name[64] = {};
  if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
    std::perror("openpty");
    return 1;
  }
  close(slave);
  SerialPort port;
  if (!port.Open(name, 115200)) {
    std::fprintf(stderr, "%s\n", port.LastError().c_str());
    return 1;
  }
  port.SetTimeouts(1000, 1000);
  for (int round = 0; round < rounds; ++round) {
    std::uint8_t byte = 0;
    double cpu_before = CpuSeconds();
    auto wall_before = std::chrono::steady_clock::now();
    std::uint32_t got = port.Read(&byte, 1);
    double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall_before).count();
    double cpu = CpuSeconds() - cpu_before;
    std::printf("idle read %d: got %u byte(s), wall %.3f s, cpu %.6f s (%.3f %% of wall)\n", round + 1,
                got, wall, cpu, 100.0 * cpu / wall);
  }
  port.Close();
  close(master);
  return 0;
}
