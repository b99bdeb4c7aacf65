// Colours of the control kit: exact RGB values, plus the platform colours that have no RGB value
// of their own (the window/text-entry background, and "whatever the platform draws by default").
#pragma once
#include <cstdint>
#include <string>

namespace ui {

class Colour {
 public:
  enum class Kind : std::uint8_t { Rgb, SystemWindow, PlatformDefault };

  static constexpr Colour Rgb(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    return Colour(Kind::Rgb, (std::uint32_t{r} << 16) | (std::uint32_t{g} << 8) | b);
  }
  static constexpr Colour Hex(std::uint32_t rgb) { return Colour(Kind::Rgb, rgb & 0xFFFFFFu); }
  // The system's window background colour: drawn with the platform's window / text-entry
  // background, and equal to no RGB value, so a handler comparing against white never mistakes it.
  static constexpr Colour SystemWindow() { return Colour(Kind::SystemWindow, 0); }
  // The platform's own colour for the control's role (label text, dialog face, ...).
  static constexpr Colour PlatformDefault() { return Colour(Kind::PlatformDefault, 0); }

  constexpr Kind kind() const { return kind_; }
  constexpr bool IsRgb() const { return kind_ == Kind::Rgb; }
  constexpr std::uint32_t rgb() const { return rgb_; }
  constexpr std::uint8_t red() const { return static_cast<std::uint8_t>(rgb_ >> 16); }
  constexpr std::uint8_t green() const { return static_cast<std::uint8_t>(rgb_ >> 8); }
  constexpr std::uint8_t blue() const { return static_cast<std::uint8_t>(rgb_); }

  friend constexpr bool operator==(Colour a, Colour b) { return a.kind_ == b.kind_ && a.rgb_ == b.rgb_; }

  std::string Describe() const;

 private:
  constexpr Colour(Kind k, std::uint32_t rgb) : kind_(k), rgb_(rgb) {}
  Kind kind_;
  std::uint32_t rgb_;
};

namespace colours {
inline constexpr Colour kWhite = Colour::Hex(0xFFFFFF);
inline constexpr Colour kBlack = Colour::Hex(0x000000);
inline constexpr Colour kRed = Colour::Hex(0xFF0000);
inline constexpr Colour kGreen = Colour::Hex(0x00FF00);
inline constexpr Colour kCyan = Colour::Hex(0x00FFFF);
inline constexpr Colour kLightRed = Colour::Hex(0xFF4F4F);
inline constexpr Colour kCountdownPink = Colour::Hex(0xFF80FF);
inline constexpr Colour kSystemWindow = Colour::SystemWindow();
inline constexpr Colour kDefault = Colour::PlatformDefault();
}  // namespace colours

}  // namespace ui
