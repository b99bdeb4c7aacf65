// Benchmark helper: starts a program and times, as an X11 client, how long it takes until its window
// is mapped and painted (a pixel of the expected colour shows), then reports its memory and ends it.
//   first_paint --name TEXT [--colour RRGGBB] [--rows N] [--settle-ms MS] [--timeout-ms MS] -- PROGRAM [ARGS...]
// Prints one line: "map_ms=… paint_ms=… rss_kb=… pss_kb=…" (times from just before fork).
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

template <class T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

template <class T>
Reply<T> Own(T* reply) {
  return Reply<T>(reply, &std::free);
}

std::string WindowName(xcb_connection_t* c, xcb_window_t w) {
  std::string name;
  for (xcb_atom_t atom : {static_cast<xcb_atom_t>(XCB_ATOM_WM_NAME)}) {
    auto reply =
        Own(xcb_get_property_reply(c, xcb_get_property(c, 0, w, atom, XCB_GET_PROPERTY_TYPE_ANY, 0, 1024), nullptr));
    if (reply && xcb_get_property_value_length(reply.get()) > 0) {
      name.assign(static_cast<const char*>(xcb_get_property_value(reply.get())),
                  static_cast<std::size_t>(xcb_get_property_value_length(reply.get())));
    }
  }
  return name;
}

bool Viewable(xcb_connection_t* c, xcb_window_t w) {
  auto reply = Own(xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, w), nullptr));
  return reply && reply->map_state == XCB_MAP_STATE_VIEWABLE;
}

// Whether the window's top rows hold a pixel within a small distance of the colour (24-bit visual,
// 32 bits a pixel, blue in the lowest byte).
bool ShowsColour(xcb_connection_t* c, xcb_window_t w, std::uint32_t rgb, int rows) {
  auto geometry = Own(xcb_get_geometry_reply(c, xcb_get_geometry(c, w), nullptr));
  if (!geometry) return false;
  const int height = std::min<int>(geometry->height, rows);
  auto image = Own(xcb_get_image_reply(
      c, xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, w, 0, 0, geometry->width, static_cast<std::uint16_t>(height), ~0u),
      nullptr));
  if (!image || image->depth != 24) return false;
  const std::uint8_t* data = xcb_get_image_data(image.get());
  const int length = xcb_get_image_data_length(image.get());
  const int want_r = static_cast<int>((rgb >> 16) & 0xff), want_g = static_cast<int>((rgb >> 8) & 0xff),
            want_b = static_cast<int>(rgb & 0xff);
  for (int i = 0; i + 3 < length; i += 4) {
    if (std::abs(data[i + 2] - want_r) <= 16 && std::abs(data[i + 1] - want_g) <= 16 &&
        std::abs(data[i] - want_b) <= 16)
      return true;
  }
  return false;
}

long ProcKb(const std::string& path, const char* key) {
  std::ifstream in(path);
  std::string line;
  const std::size_t key_length = std::strlen(key);
  while (std::getline(in, line)) {
    if (line.compare(0, key_length, key) == 0) return std::strtol(line.c_str() + key_length, nullptr, 10);
  }
  return -1;
}

void EndChild(pid_t pid) {
  kill(pid, SIGTERM);
  for (int i = 0; i < 500; ++i) {
    if (waitpid(pid, nullptr, WNOHANG) == pid) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}

int Usage() {
  std::fprintf(stderr,
               "usage: first_paint --name TEXT [--colour RRGGBB] [--rows N] [--settle-ms MS] [--timeout-ms MS] "
               "-- PROGRAM [ARGS...]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string name;
  std::uint32_t colour = 0x00ff00;
  int rows = 40;
  int settle_ms = 2000;
  int timeout_ms = 20000;
  int first_program_arg = -1;
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (word == "--") {
      first_program_arg = i + 1;
      break;
    }
    if (i + 1 >= argc) return Usage();
    const char* value = argv[++i];
    if (word == "--name")
      name = value;
    else if (word == "--colour")
      colour = static_cast<std::uint32_t>(std::strtoul(value, nullptr, 16));
    else if (word == "--rows")
      rows = std::atoi(value);
    else if (word == "--settle-ms")
      settle_ms = std::atoi(value);
    else if (word == "--timeout-ms")
      timeout_ms = std::atoi(value);
    else
      return Usage();
  }
  if (name.empty() || first_program_arg < 0 || first_program_arg >= argc) return Usage();

  int screen_number = 0;
  xcb_connection_t* c = xcb_connect(nullptr, &screen_number);
  if (xcb_connection_has_error(c)) {
    std::fprintf(stderr, "first_paint: cannot open the display\n");
    return 1;
  }
  fcntl(xcb_get_file_descriptor(c), F_SETFD, FD_CLOEXEC);
  xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(c));
  for (int i = 0; i < screen_number; ++i) xcb_screen_next(&screens);
  const xcb_window_t root = screens.data->root;
  const std::uint32_t root_mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
  xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, &root_mask);
  Own(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));  // the selection is in force

  const Clock::time_point start = Clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    execv(argv[first_program_arg], argv + first_program_arg);
    _exit(127);
  }
  if (pid < 0) return 1;

  std::set<xcb_window_t> candidates;
  std::optional<xcb_window_t> target;
  double map_ms = -1, paint_ms = -1;
  const std::uint32_t window_mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_PROPERTY_CHANGE;
  auto consider = [&](xcb_window_t w) {
    if (target || !Viewable(c, w)) return;
    if (WindowName(c, w).find(name) == std::string::npos) return;
    target = w;
    map_ms = MsSince(start);
  };
  while (paint_ms < 0) {
    if (MsSince(start) > timeout_ms || waitpid(pid, nullptr, WNOHANG) == pid) {
      std::fprintf(stderr, "first_paint: no painted window named \"%s\" within %d ms\n", name.c_str(), timeout_ms);
      if (waitpid(pid, nullptr, WNOHANG) == 0) EndChild(pid);
      return 1;
    }
    pollfd fd{xcb_get_file_descriptor(c), POLLIN, 0};
    poll(&fd, 1, 1);
    while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
      const auto type = static_cast<std::uint8_t>(event->response_type & 0x7f);
      if (type == XCB_CREATE_NOTIFY) {
        const auto* created = reinterpret_cast<xcb_create_notify_event_t*>(event);
        if (created->parent == root && candidates.insert(created->window).second) {
          xcb_change_window_attributes(c, created->window, XCB_CW_EVENT_MASK, &window_mask);
          consider(created->window);  // it may have been mapped before the selection took effect
        }
      } else if (type == XCB_MAP_NOTIFY) {
        const auto* mapped = reinterpret_cast<xcb_map_notify_event_t*>(event);
        if (candidates.count(mapped->window) != 0) consider(mapped->window);
      } else if (type == XCB_PROPERTY_NOTIFY) {
        const auto* changed = reinterpret_cast<xcb_property_notify_event_t*>(event);
        if (candidates.count(changed->window) != 0) consider(changed->window);
      }
      std::free(event);
    }
    if (target && ShowsColour(c, *target, colour, rows)) paint_ms = MsSince(start);
  }

  std::this_thread::sleep_for(std::chrono::milliseconds(settle_ms));
  const std::string proc = "/proc/" + std::to_string(pid);
  const long rss_kb = ProcKb(proc + "/status", "VmRSS:");
  const long pss_kb = ProcKb(proc + "/smaps_rollup", "Pss:");
  EndChild(pid);
  xcb_disconnect(c);
  std::printf("map_ms=%.1f paint_ms=%.1f rss_kb=%ld pss_kb=%ld\n", map_ms, paint_ms, rss_kb, pss_kb);
  return 0;
}
