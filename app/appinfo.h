// Contact and version details shown by Help and About. Kept in one place so
// a rebranded build changes them here only.
#pragma once

namespace AppInfo {
inline constexpr char kWebAddress[] = "https://korvex.example.com";
inline constexpr char kSupportContact[] = "400-820-0000";
inline constexpr char kVersionText[] = "v1.1.6";
} // namespace AppInfo
