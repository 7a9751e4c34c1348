#include "app/Reporter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

#include "app/Text.h"
#include "ui/frmDownloadSwU.h"

namespace fota::cli {

namespace {

constexpr int kBarWidth = 24;

std::string number(double v) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.3f", v);
    return buffer;
}

std::string field(const char* name, const std::string& jsonValue) {
    return std::string(",\"") + name + "\":" + jsonValue;
}

std::string field(const char* name, std::int64_t v) {
    return field(name, std::to_string(v));
}

std::string textField(const char* name, const std::string& text) {
    return field(name, JsonString(text));
}

}  // namespace

Reporter::Reporter(Io io, bool json, int verbosity) : io_(io), json_(json), verbosity_(verbosity) {}

void Reporter::setTime(std::function<double()> seconds) {
    std::lock_guard lock(lock_);
    seconds_ = std::move(seconds);
}

double Reporter::now() const {
    return seconds_ ? seconds_() : 0.0;
}

void Reporter::line(std::ostream& os, const std::string& text) {
    const bool redraw = barShown_ && pass_.position < pass_.max;
    if (barShown_) {
        if (redraw) {
            io_.out << "\r\033[K";
        } else {
            io_.out << "\n";
        }
        barShown_ = false;
    }
    os << text << "\n";
    os.flush();
    if (redraw) {
        drawBar(false);
    }
}

void Reporter::json(const std::string& event, const std::string& fields) {
    io_.out << "{\"event\":" << JsonString(event) << ",\"time_s\":" << number(now()) << fields
            << "}\n";
    io_.out.flush();
}

void Reporter::breakLine() {
    std::lock_guard lock(lock_);
    if (barShown_) {
        io_.out << "\n";
        io_.out.flush();
        barShown_ = false;
    }
}

void Reporter::info(const std::string& text) {
    std::lock_guard lock(lock_);
    if (json_) {
        json("info", textField("text", text));
    } else {
        line(io_.out, TerminalText(text));
    }
}

void Reporter::error(const std::string& text) {
    std::lock_guard lock(lock_);
    if (json_) {
        json("error", textField("text", text));
    } else {
        line(io_.err, "fota-cli: " + TerminalText(text));
    }
}

void Reporter::status(const std::string& text, const std::string& state) {
    std::lock_guard lock(lock_);
    if (json_) {
        json("status", textField("text", text) + (state.empty() ? "" : textField("state", state)));
    } else {
        line(io_.out, "Status: " + TerminalText(text));
    }
}

void Reporter::message(const std::string& text) {
    std::lock_guard lock(lock_);
    if (json_) {
        json("message", textField("text", text));
    } else {
        line(io_.out, "Message: " + TerminalText(text));
    }
}

void Reporter::logBox(const std::string& text) {
    std::lock_guard lock(lock_);
    if (json_) {
        json("logbox", textField("text", text));
    } else if (verbosity_ >= 1) {
        line(io_.out, "  | " + TerminalText(text));
    }
}

void Reporter::eventLog(const std::string& text) {
    std::lock_guard lock(lock_);
    if (json_) {
        json("log", textField("text", text));
    } else if (verbosity_ >= 2) {
        line(io_.out, "  log: " + TerminalText(text));
    }
}

void Reporter::download(std::int32_t unitType) {
    const DownloadSwTexts texts = DownloadSwTextsFor(unitType);
    std::lock_guard lock(lock_);
    if (json_) {
        json("download", field("unit_type", unitType) + textField("address", texts.address));
        return;
    }
    // The software-download dialog, as lines.
    line(io_.out,
         "\nUpdate the Mova software !!!\n"
         "Now your trainer is ANT+  FE-C compatible !!\n"
         "You must upgrade your Mova software ,otherwise it will not be able to connect to the "
         "trainer.\n\n"
         "Here you can find the installation file, don't uninstall the actual Mova version :\n" +
             texts.directLink + "\n");
}

void Reporter::progress(std::int32_t max, std::int32_t position) {
    std::lock_guard lock(lock_);
    const double t = now();
    if (max != pass_.max || position < pass_.position) {
        if (barShown_) {
            io_.out << "\n";
            barShown_ = false;
        }
        pass_ = Pass{};
        pass_.max = max;
        pass_.start = t;
        pass_.first = position;
    }
    pass_.position = position;
    const double elapsed = t - pass_.start;
    const std::int32_t done = position - pass_.first;
    const double remaining = done > 0 && max > 0 ? elapsed / done * (max - position) : NAN;
    const int percent = max > 0 ? static_cast<int>(std::int64_t{position} * 100 / max) : 0;
    if (json_) {
        json("progress",
             field("block", position) + field("blocks", max) + field("percent", percent) +
                 field("elapsed_s", number(elapsed)) +
                 field("remaining_s", std::isnan(remaining) ? "null" : number(remaining)));
        return;
    }
    if (io_.outTerminal) {
        drawBar(position >= max);
        return;
    }
    const int tenth = max > 0 ? static_cast<int>(std::int64_t{position} * 10 / max) : 0;
    if (tenth > pass_.lastTenth) {
        pass_.lastTenth = tenth;
        std::ostringstream text;
        text << "Progress: block " << position << " of " << max << " (" << percent << "%), "
             << cli::Clock(elapsed) << " elapsed";
        if (!std::isnan(remaining) && position < max) {
            text << ", about " << cli::Clock(remaining) << " left";
        }
        line(io_.out, text.str());
    }
}

void Reporter::drawBar(bool final) {
    const std::int32_t max = pass_.max;
    const std::int32_t position = pass_.position;
    const int filled = max > 0 ? static_cast<int>(std::int64_t{position} * kBarWidth / max) : 0;
    const int percent = max > 0 ? static_cast<int>(std::int64_t{position} * 100 / max) : 0;
    const double elapsed = now() - pass_.start;
    const std::int32_t done = position - pass_.first;
    std::string bar(static_cast<std::size_t>(std::clamp(filled, 0, kBarWidth)), '#');
    bar.resize(kBarWidth, '.');
    std::ostringstream text;
    text << "\r[" << bar << "] block " << position << "/" << max << " " << percent << "%  "
         << cli::Clock(elapsed) << " elapsed";
    if (done > 0 && !final) {
        text << "  ~" << cli::Clock(elapsed / done * (max - position)) << " left";
    }
    text << "\033[K";
    io_.out << text.str();
    io_.out.flush();
    barShown_ = true;
}

void Reporter::decision(const std::string& kind, const Decision& d) {
    std::lock_guard lock(lock_);
    if (json_) {
        std::string log = "[";
        for (std::size_t k = 0; k < d.log.size(); ++k) {
            if (k != 0) {
                log += ',';
            }
            log += JsonString(d.log[k]);
        }
        log += "]";
        json(kind, field("version", d.version) + field("subversion", d.subVersion) +
                       field("unit_type", d.unitType) +
                       field("image", d.image.empty() ? "null" : JsonString(d.image)) +
                       field("bytes", d.bytes) + field("blocks", d.blocks) +
                       field("demo_image", d.demoImage ? "true" : "false") +
                       textField("state", d.state) + textField("status", d.stateText) +
                       field("error", d.error ? "true" : "false") + field("log", log));
        return;
    }
    std::ostringstream text;
    text << (kind == "plan" ? "Plan" : "Dry run") << " for a trainer reporting version "
         << d.version << ", sub-version " << d.subVersion << ", unit type " << d.unitType << ":\n";
    text << "  selection:\n";
    for (const std::string& l : d.log) {
        text << "    " << TerminalText(l) << "\n";
    }
    if (!d.image.empty()) {
        text << "  would program " << d.image << ": " << d.bytes << " bytes in " << d.blocks
             << " blocks";
        if (d.demoImage) {
            text << " (a demo image: for the simulated trainer only)";
        }
        text << "\n";
    } else {
        text << "  no image: the upgrade ends here\n";
    }
    text << "  state " << d.state << ": \"" << TerminalText(d.stateText) << "\"";
    if (d.error) {
        text << " (error)";
    }
    line(io_.out, text.str());
}

void Reporter::end(int code, const std::string& detail) {
    const ExitStatus& status = ExitStatusOf(code);
    std::lock_guard lock(lock_);
    if (json_) {
        json("end", field("exit_code", code) + textField("outcome", std::string(status.name)) +
                        textField("text", detail.empty() ? std::string(status.meaning) : detail));
        return;
    }
    std::string text = "fota-cli: " + std::string(status.meaning);
    if (!detail.empty()) {
        text += " - " + TerminalText(detail);
    }
    text += " (exit status " + std::to_string(code) + ")";
    line(code == kExitOk || code == kExitDryRun || code == kExitAlreadyUpdated ? io_.out : io_.err,
         text);
}

}  // namespace fota::cli
