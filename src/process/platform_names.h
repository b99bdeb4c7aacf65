// File names and the folder separator that differ between the Linux and Windows builds, kept in
// one place so the core composes locations without platform conditionals of its own.
#pragma once
#include <string_view>

namespace process {

#ifdef _WIN32
inline constexpr char kFolderSeparator = '\\';
inline constexpr std::string_view kPellumOnFileName = "MF-PELLUM-ON.exe";
inline constexpr std::string_view kPellumOffFileName = "MF-PELLUM-OFF.exe";
#else
inline constexpr char kFolderSeparator = '/';
inline constexpr std::string_view kPellumOnFileName = "MF-PELLUM-ON";
inline constexpr std::string_view kPellumOffFileName = "MF-PELLUM-OFF";
#endif

}  // namespace process
