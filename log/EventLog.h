#pragma once
// The event log: FirmwareUpdate.log on the user's desktop, one line per event,
// appended and closed on every call, never truncated. Every message also goes
// to the debugger output (standard error).

#include <functional>
#include <optional>
#include <string>

namespace fota {

class Clock;

// Writes "<time stamp> <text>" to the log file; the text alone goes to the
// debugger output. Safe from any thread; never throws: a line that cannot be
// written is lost and the next call tries again.
void WriteLog(const std::string& text);

// Appends one line (and CR LF) to the log file.
void AppendLogLine(const std::string& line);

// The user's desktop folder: XDG_DESKTOP_DIR from the user-dirs file, else
// ~/Desktop; the home folder when that folder does not exist. Empty when no
// home folder is known.
std::string DesktopFolder();

// The time stamp text of WriteLog for the current time: the locale's short
// date, one space, the locale's long time ("%x %X").
std::string LogTimeStamp();

inline constexpr const char* kLogFileName = "FirmwareUpdate.log";

// Settings of the process-wide log, for the programs and the tests.
namespace eventlog {
// The folder of the log file instead of the desktop (--log-dir, tests).
void setFolder(std::optional<std::string> folder);
// The clock whose calendar time stamps the lines (default: the machine's).
void setClock(const Clock* clock);
// Also hands every message text (without time stamp) to fn; any thread.
void setObserver(std::function<void(const std::string&)> fn);
// Debugger output on standard error (default on).
void setDebugOutput(bool on);
// The full path of the log file as it is now.
std::string filePath();
}  // namespace eventlog

}  // namespace fota
