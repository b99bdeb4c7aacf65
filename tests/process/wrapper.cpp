// A launcher script's stand-in for the loader's real-process tests: it starts the program named
// after its first argument detached from itself, as a shell script with "&" would, and exits 0 at
// once. Usage: wrapper DIR [PROGRAM ARGS...]; it leaves DIR/wrapped-<pid> before exiting.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: wrapper DIR [PROGRAM ARGS...]\n");
    return 2;
  }
  if (argc > 2) {
    // Twice forked, so the tool is nobody's child here and outlives the wrapper on its own.
    const pid_t middle = ::fork();
    if (middle == 0) {
      ::setsid();
      if (::fork() == 0) {
        ::execv(argv[2], argv + 2);
        ::_exit(127);
      }
      ::_exit(0);
    }
    if (middle > 0) ::waitpid(middle, nullptr, 0);
  }
  const std::string path = std::string(argv[1]) + "/wrapped-" + std::to_string(::getpid());
  if (FILE* f = std::fopen(path.c_str(), "w")) std::fclose(f);
  return 0;
}
