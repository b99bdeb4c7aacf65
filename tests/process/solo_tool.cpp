// A single-instance tool for the loader's real-process tests, standing in for a CORVANT that refuses
// a second copy: it holds a lock while it runs, and a copy that finds the lock taken exits at once.
// Usage: solo_tool --lock FILE --dir DIR [--done]
//   Each copy leaves DIR/<event>-<pid>: "running" (it holds the lock and works until DIR/stop
//   exists, then exits with the status written in it, 0 when it is empty), "refused" (another copy holds the lock: exit status 3), or "done"
//   (--done: nothing left to do, exit 0 at once, as a node already caught up).
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace {

void Note(const std::string& dir, const char* event) {
  const std::string path = dir + "/" + event + "-" + std::to_string(::getpid());
  if (FILE* f = std::fopen(path.c_str(), "w")) std::fclose(f);
}

}  // namespace

int main(int argc, char** argv) {
  std::string lock, dir;
  bool done = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--lock") == 0 && i + 1 < argc)
      lock = argv[++i];
    else if (std::strcmp(argv[i], "--dir") == 0 && i + 1 < argc)
      dir = argv[++i];
    else if (std::strcmp(argv[i], "--done") == 0)
      done = true;
  }
  if (lock.empty() || dir.empty()) {
    std::fprintf(stderr, "usage: solo_tool --lock FILE --dir DIR [--done]\n");
    return 2;
  }
  if (done) {
    Note(dir, "done");
    return 0;
  }
  const int fd = ::open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    Note(dir, "refused");
    return 3;
  }
  Note(dir, "running");
  const std::string stop = dir + "/stop";
  while (::access(stop.c_str(), F_OK) != 0) ::usleep(20'000);
  int status = 0;
  std::ifstream(stop) >> status;
  return status;
}
