#pragma once
// Standard output goes to /dev/null while a Silence lives: benchmarks of the commands keep what the
// commands print out of the timing and off the terminal.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

namespace bench {

class Silence {
 public:
  Silence() : mSaved(dup(1)) {
    std::fflush(stdout);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    close(null);
  }
  ~Silence() {
    std::fflush(stdout);
    dup2(mSaved, 1);
    close(mSaved);
  }
  Silence(const Silence&) = delete;
  Silence& operator=(const Silence&) = delete;

 private:
  int mSaved;
};

}  // namespace bench
