// Fuzzes the decoding of stored geometry and tick-box values: whatever the bytes, a value either
// reads as a number inside the allowed range or as the key's default, and never crashes.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "settings/store.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  for (auto kind : {settings::GeometryKind::Position, settings::GeometryKind::Size}) {
    if (auto v = settings::DecodeGeometry(text, kind)) {
      if (!std::isfinite(*v) || std::fabs(*v) > 1'000'000.f) std::abort();
      if (kind == settings::GeometryKind::Size && !(*v > 0)) std::abort();
      // What is written back must read back as the same number.
      auto again = settings::DecodeGeometry(settings::EncodeGeometry(*v), kind);
      if (!again || *again != *v) std::abort();
    }
  }
  if (auto t = settings::DecodeTick(text); t && *t != 0 && *t != 1) std::abort();
  return 0;
}
