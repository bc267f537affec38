// The exit report: with the crash log on, each run appends to "crash.log" in
// the executable's directory
//
//    __________________
//   | PC <build label> <month>/<day, two digits>
//   '^^^^^^^^^^^^^^^^^^
//   <the log of the run, ending in the memory summary>
//   (two line feeds)
//
// Failures only shorten the report; nothing is shown.
#pragma once

inline constexpr const char* kBuildLabel = "Tarvolin 0.1";

// Writes one report dated `month` (1-12) / `day`. The file is opened through
// the open entry, so a relative name lands in the executable's directory
// while the file-open override is in place.
void WriteExitReport(int month, int day);
