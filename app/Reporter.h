#pragma once
// What fota-cli prints while an upgrade runs, as text for a person or as one
// JSON object per line for a script (--json). Any thread may call it: each
// call writes whole lines under one lock.
//
// Text: the status texts as they change ("Status: ..."), message boxes
// ("Message: ..."), a progress bar per pass (redrawn in place on a terminal,
// a line every tenth otherwise), with -v the log box lines ("  | ...") and
// with -vv the event log lines ("  log: ..."). Everything that comes from
// outside is made terminal-safe first.
//
// JSON: {"event": "...", "time_s": <seconds since the start>, ...} with the
// events status, progress, message, logbox, log, download, info, error,
// dry_run, plan and end.

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/Cli.h"

namespace fota::cli {

// What the selection decided for a trainer (plan, dry run).
struct Decision {
    std::int32_t version = 0;
    std::int32_t subVersion = 0;
    std::int32_t unitType = 0;
    std::string image;        // empty when the upgrade ends without one
    std::int32_t bytes = 0;   // the image's size
    std::int32_t blocks = 0;  // its blocks (one burst each)
    bool demoImage = false;
    std::string state;             // the state the selection left (StateName)
    std::string stateText;         // its status text
    bool error = false;            // the worker's error flag
    std::vector<std::string> log;  // the selection's event log lines
};

class Reporter {
public:
    Reporter(Io io, bool json, int verbosity);

    // Seconds shown as elapsed time (from the program's clock).
    void setTime(std::function<double()> seconds);

    void info(const std::string& text);
    void error(const std::string& text);
    void status(const std::string& text, const std::string& state);
    void progress(std::int32_t max, std::int32_t position);
    void message(const std::string& text);
    void logBox(const std::string& line);
    void eventLog(const std::string& line);
    void download(std::int32_t unitType);
    // kind: "dry_run" or "plan".
    void decision(const std::string& kind, const Decision& d);
    void end(int code, const std::string& detail);

    // Where questions go: out for text, err with --json (out stays JSON).
    std::ostream& prompt() { return json_ ? io_.err : io_.out; }
    // Ends a progress bar line before a question is printed.
    void breakLine();

private:
    void line(std::ostream& os, const std::string& text);  // under lock_
    void json(const std::string& event, const std::string& fields);
    void drawBar(bool final);
    double now() const;

    Io io_;
    bool json_;
    int verbosity_;
    std::function<double()> seconds_;
    std::mutex lock_;

    // The progress of the current pass.
    struct Pass {
        std::int32_t max = 0;
        std::int32_t position = 0;
        double start = 0;        // time of its first report
        std::int32_t first = 0;  // position of its first report
        int lastTenth = -1;      // the last tenth printed (not on a terminal)
    } pass_;
    bool barShown_ = false;  // a bar is on the terminal's current line
};

}  // namespace fota::cli
