// Test helper that changes what /proc shows of it when told: it rewrites its argv[0] in place,
// executes another program under the same pid, or lets its main thread end while a second thread
// works on. Commands arrive one per line on the FIFO named by its first argument.
//   argv0 TEXT        writes TEXT over argv[0] (within the space the arguments had)
//   exec PATH ARGV0   becomes PATH, with the arguments ARGV0 FIFO
//   leader-exit       the main thread ends; a second thread goes on reading commands
//   exit              the whole process ends with status 0
#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <thread>

namespace {

int g_argc = 0;
char** g_argv = nullptr;
std::string g_fifo;  // kept aside: a new argv[0] may run over the argument that named it

bool ReadLine(int fd, std::string& line) {
  line.clear();
  for (char c; ::read(fd, &c, 1) == 1;) {
    if (c == '\n') return true;
    line += c;
  }
  return false;
}

void Serve(int fd) {
  for (std::string line; ReadLine(fd, line);) {
    const std::size_t space = line.find(' ');
    const std::string verb = line.substr(0, space);
    const std::string rest = space == std::string::npos ? "" : line.substr(space + 1);
    if (verb == "argv0") {
      // The arguments lie one after the other; the text may run over the later ones.
      char* const end = g_argv[g_argc - 1] + std::strlen(g_argv[g_argc - 1]);
      const std::size_t room = static_cast<std::size_t>(end - g_argv[0]);
      const std::size_t length = std::min(rest.size(), room);
      std::memcpy(g_argv[0], rest.data(), length);
      std::memset(g_argv[0] + length, 0, room - length);
    } else if (verb == "exec") {
      const std::size_t gap = rest.find(' ');
      const std::string path = rest.substr(0, gap);
      std::string argv0 = rest.substr(gap + 1);
      char* const arguments[] = {argv0.data(), g_fifo.data(), nullptr};
      ::execv(path.c_str(), arguments);
      _exit(3);
    } else if (verb == "leader-exit") {
      std::thread(Serve, fd).detach();
      ::pthread_exit(nullptr);
    } else if (verb == "exit") {
      _exit(0);
    }
  }
  _exit(0);  // the test let go of the FIFO
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  g_argc = argc;
  g_argv = argv;
  g_fifo = argv[1];
  const int fd = ::open(argv[1], O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 2;
  Serve(fd);
}
