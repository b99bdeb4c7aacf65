// Benchmark helper: clicks one spot of a window through the X server's XTEST extension and times,
// by polling the spot's pixels every millisecond, how long each click takes to change what is shown.
//   click_latency --window ID --rect X,Y,W,H [--clicks N] [--gap-ms MS]
// X,Y,W,H: pixels in the window's client area. The press is sent first and left to settle; the time
// runs from sending the release (which is what toggles a tick box) to the first changed pixel.
#include <sys/uio.h>
#include <xcb/xcb.h>
#include <xcb/xcbext.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

template <class T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

template <class T>
Reply<T> Own(T* reply) {
  return Reply<T>(reply, &std::free);
}

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// XTEST FakeInput, sent as a raw request (only the core xcb headers are installed here).
xcb_extension_t g_xtest = {"XTEST", 0};

struct FakeInputRequest {
  std::uint8_t major = 0, minor = 2;
  std::uint16_t length = 9;
  std::uint8_t type = 0, detail = 0;
  std::uint16_t pad0 = 0;
  std::uint32_t time = 0;
  std::uint32_t root = 0;
  std::uint32_t pad1[2] = {0, 0};
  std::int16_t x = 0, y = 0;
  std::uint8_t pad2[7] = {0, 0, 0, 0, 0, 0, 0};
  std::uint8_t device = 0;
};
static_assert(sizeof(FakeInputRequest) == 36);

void FakeButton(xcb_connection_t* c, bool press) {
  static const xcb_protocol_request_t request = {2, &g_xtest, 2, 1};
  FakeInputRequest body;
  body.type = press ? XCB_BUTTON_PRESS : XCB_BUTTON_RELEASE;
  body.detail = 1;
  iovec parts[4];
  parts[2].iov_base = &body;
  parts[2].iov_len = sizeof body;
  parts[3].iov_base = nullptr;
  parts[3].iov_len = 0;
  xcb_send_request(c, 0, parts + 2, &request);
  xcb_flush(c);
}

std::vector<std::uint8_t> Grab(xcb_connection_t* c, xcb_window_t w, int x, int y, int width, int height) {
  auto image = Own(xcb_get_image_reply(
      c,
      xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, w, static_cast<std::int16_t>(x), static_cast<std::int16_t>(y),
                    static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height), ~0u),
      nullptr));
  if (!image) return {};
  const std::uint8_t* data = xcb_get_image_data(image.get());
  return std::vector<std::uint8_t>(data, data + xcb_get_image_data_length(image.get()));
}

int Usage() {
  std::fprintf(stderr, "usage: click_latency --window ID --rect X,Y,W,H [--clicks N] [--gap-ms MS]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  xcb_window_t window = 0;
  int x = 0, y = 0, width = 0, height = 0, clicks = 20, gap_ms = 500;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string word = argv[i];
    if (word == "--window")
      window = static_cast<xcb_window_t>(std::strtoul(argv[i + 1], nullptr, 0));
    else if (word == "--rect") {
      if (std::sscanf(argv[i + 1], "%d,%d,%d,%d", &x, &y, &width, &height) != 4) return Usage();
    } else if (word == "--clicks")
      clicks = std::atoi(argv[i + 1]);
    else if (word == "--gap-ms")
      gap_ms = std::atoi(argv[i + 1]);
    else
      return Usage();
  }
  if (window == 0 || width <= 0 || height <= 0 || clicks <= 0) return Usage();

  int screen_number = 0;
  xcb_connection_t* c = xcb_connect(nullptr, &screen_number);
  if (xcb_connection_has_error(c)) {
    std::fprintf(stderr, "click_latency: cannot open the display\n");
    return 1;
  }
  const xcb_query_extension_reply_t* xtest = xcb_get_extension_data(c, &g_xtest);
  if (!xtest || !xtest->present) {
    std::fprintf(stderr, "click_latency: the X server has no XTEST\n");
    return 1;
  }
  xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(c));
  for (int i = 0; i < screen_number; ++i) xcb_screen_next(&screens);
  const xcb_window_t root = screens.data->root;
  auto origin = Own(xcb_translate_coordinates_reply(c, xcb_translate_coordinates(c, window, root, 0, 0), nullptr));
  if (!origin) {
    std::fprintf(stderr, "click_latency: no window 0x%x\n", window);
    return 1;
  }
  xcb_warp_pointer(c, XCB_NONE, root, 0, 0, 0, 0, static_cast<std::int16_t>(origin->dst_x + x + width / 2),
                   static_cast<std::int16_t>(origin->dst_y + y + height / 2));
  xcb_flush(c);
  SleepMs(400);  // the hover look settles before the first snapshot

  const int warm_up = 2;
  std::vector<double> latencies;
  std::vector<std::vector<std::uint8_t>> settled;
  int timeouts = 0;
  for (int i = 0; i < clicks + warm_up; ++i) {
    FakeButton(c, true);
    SleepMs(150);  // the pressed look settles
    const std::vector<std::uint8_t> before = Grab(c, window, x, y, width, height);
    const Clock::time_point start = Clock::now();
    FakeButton(c, false);
    double latency = -1;
    while (std::chrono::duration<double, std::milli>(Clock::now() - start).count() < 5000) {
      if (Grab(c, window, x, y, width, height) != before) {
        latency = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        break;
      }
      SleepMs(1);
    }
    if (latency < 0)
      ++timeouts;
    else if (i >= warm_up)
      latencies.push_back(latency);
    SleepMs(gap_ms);
    settled.push_back(Grab(c, window, x, y, width, height));
  }
  // Every click must have toggled the box: the settled look alternates between two images.
  int toggled = 0;
  for (std::size_t i = 1; i < settled.size(); ++i) {
    if (settled[i] != settled[i - 1] && (i < 2 || settled[i] == settled[i - 2])) ++toggled;
  }
  xcb_disconnect(c);
  if (latencies.empty()) {
    std::fprintf(stderr, "click_latency: no click changed the window\n");
    return 1;
  }
  std::vector<double> sorted = latencies;
  std::sort(sorted.begin(), sorted.end());
  std::printf("clicks=%zu median_ms=%.1f min_ms=%.1f max_ms=%.1f toggled=%d/%zu timeouts=%d all_ms=", sorted.size(),
              sorted[sorted.size() / 2], sorted.front(), sorted.back(), toggled, settled.size() - 1, timeouts);
  for (std::size_t i = 0; i < latencies.size(); ++i) std::printf("%s%.1f", i ? "," : "", latencies[i]);
  std::printf("\n");
  return 0;
}
