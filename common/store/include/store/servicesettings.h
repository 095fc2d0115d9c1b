#pragma once

// The service's settings file, which the console writes the sending window
// into: one section, "Service Settings", next to both programs.
inline constexpr char ServiceSettingsFileName[] = "TalvinorSMSSvc.ini";
inline constexpr char ServiceSettingsSection[] = "Service Settings";

// The hours in which bulk messages go out: "HH:mm,HH:mm", the whole day by
// default.
inline constexpr char SendingWindowKey[] = "allowed_time_interval";
inline constexpr char SendingWindowDefault[] = "00:00,23:59";
