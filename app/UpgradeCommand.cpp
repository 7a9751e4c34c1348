#include "app/UpgradeCommand.h"

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <istream>
#include <memory>
#include <mutex>
#include <ostream>
#include <sstream>
#include <vector>

#include "antlink/AntSerialLibrary.h"
#include "antlink/InProcessTransport.h"
#include "antlink/RecordingTransport.h"
#include "antlink/StickChooser.h"
#include "app/PortOpener.h"
#include "app/Reporter.h"
#include "app/UpgradeOptions.h"
#include "engine/FOTAComponent.h"
#include "image/ImageStore.h"
#include "log/EventLog.h"
#include "platform/Clock.h"
#include "platform/EventLoop.h"
#include "sim/Simulator.h"
#include "ui/FormAgreementU.h"
#include "ui/HeadlessWindow.h"
#include "ui/IniDeviceNumberStore.h"

namespace fota::cli {

namespace {

// How long the channel may take from the start to its first event (the
// trainer's first page, or the search timeout when there is none).
constexpr Duration kStartTimeout = std::chrono::minutes(2);
// How long the state poll is given to show the final state after the worker ended.
constexpr Duration kFinalStateGrace = std::chrono::seconds(3);
// The longest answer kept from the terminal.
constexpr std::size_t kMaxAnswer = 256;

constexpr const char* kTrainerNumberName = "MovaAntSettings_TrainerDeviceNumber";

// One line typed at the terminal, without its line end; nullopt at the end
// of input (Ctrl+D) before anything was typed.
std::optional<std::string> readAnswer(std::istream& in) {
    std::string answer;
    bool any = false;
    char c = 0;
    while (in.get(c)) {
        any = true;
        if (c == '\n') {
            break;
        }
        if (answer.size() < kMaxAnswer) {
            answer.push_back(c);
        }
    }
    if (!any) {
        return std::nullopt;
    }
    if (!answer.empty() && answer.back() == '\r') {
        answer.pop_back();
    }
    return answer;
}

std::string trimmedLower(std::string s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) {
        s.pop_back();
    }
    std::size_t start = 0;
    while (start < s.size() && (s[start] == ' ' || s[start] == '\t')) {
        ++start;
    }
    s.erase(0, start);
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return s;
}

// The settings file, with --device-number in place of the stored trainer number.
class TrainerNumberStore : public DeviceNumberStore {
public:
    TrainerNumberStore(DeviceNumberStore& settings, std::optional<std::int32_t> trainer)
        : settings_(settings), trainer_(trainer) {}
    std::optional<std::string> ReadString(const std::string& key,
                                          const std::string& valueName) override {
        if (trainer_ && valueName == kTrainerNumberName) {
            return std::to_string(*trainer_);
        }
        return settings_.ReadString(key, valueName);
    }

private:
    DeviceNumberStore& settings_;
    std::optional<std::int32_t> trainer_;
};

// The process-wide event log set up for one command, put back afterwards.
class EventLogScope {
public:
    EventLogScope(std::optional<std::string> folder, std::function<void(const std::string&)> fn) {
        eventlog::setDebugOutput(false);  // the terminal shows what it should
        eventlog::setFolder(std::move(folder));
        eventlog::setObserver(std::move(fn));
    }
    ~EventLogScope() {
        eventlog::setObserver(nullptr);
        eventlog::setClock(nullptr);
        eventlog::setFolder(std::nullopt);
        eventlog::setDebugOutput(true);
    }
    EventLogScope(const EventLogScope&) = delete;
    EventLogScope& operator=(const EventLogScope&) = delete;
};

int ExitCodeForState(TProgrammingStateFota state) {
    switch (state) {
        case psfFinishOK:
            return kExitOk;
        case psfAlreadyUpdated:
            return kExitAlreadyUpdated;
        case psfUpgradeNotPossible:
            return kExitNotPossible;
        case psfNoNewFirmwareFound:
        case psf64MicroBlock:
            return kExitNoFirmware;
        case psfZeroPositionError:
            return kExitZeroPosition;
        case psfErrorFirmwareImage:
            return kExitDemoRefused;
        default:
            return kExitFailure;
    }
}

// The state whose status text this is, when the state poll stops on it
// (psfBeforeStart for any other text).
TProgrammingStateFota finalState(const std::string& text) {
    for (const TProgrammingStateFota s :
         {psfEnd, psfError, psfAlreadyUpdated, psfErrorFirmwareImage, psfFinishOK,
          psfUpgradeNotPossible, psfZeroPositionError}) {
        if (TMainForm::StatusText(s) == text) {
            return s;
        }
    }
    return psfBeforeStart;
}

// The selection's event log lines: from "Select Firmware to send" to the
// image's loading ("Firware Selected -> NAME"), or to the end.
class SelectionLog {
public:
    void add(const std::string& line) {
        std::lock_guard lock(mutex_);
        if (line == "Select Firmware to send") {
            lines_.clear();
            collecting_ = true;
        }
        if (collecting_) {
            lines_.push_back(line);
            if (line.rfind(kLoaded, 0) == 0) {
                collecting_ = false;
                loaded_ = line.substr(std::string_view(kLoaded).size());
            }
        }
    }
    std::vector<std::string> lines() const {
        std::lock_guard lock(mutex_);
        return lines_;
    }
    // The image the worker loaded last ("" when none).
    std::string loadedImage() const {
        std::lock_guard lock(mutex_);
        return loaded_;
    }

private:
    static constexpr const char* kLoaded = "Firware Selected -> ";
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
    bool collecting_ = false;
    std::string loaded_;
};

void fillImage(Decision& d) {
    if (d.image.empty()) {
        return;
    }
    d.demoImage = ImageStore::isDemoImage(d.image);
    try {
        TFirmware fw;
        if (ImageStore::load(d.image, fw)) {
            d.bytes = fw.totalByte();
            d.blocks = static_cast<std::int32_t>(fw.buff.size());
        }
    } catch (const std::exception&) {
        // A maker's image that does not load: its size stays unknown (0).
    }
}

std::string trainerText(const sim::TrainerConfig& t) {
    std::ostringstream s;
    s << sim::modelCode(t.model) << " trainer, ";
    if (t.runsBootloader) {
        s << "running its bootloader (sub-version " << int(t.bootloaderSubVersion) << ")";
    } else {
        s << "firmware version " << int(t.version) << ", sub-version " << int(t.subVersion)
          << ", unit type " << int(t.unitType);
    }
    return s.str();
}

std::mutex gActiveMutex;
class Session;
Session* gActive = nullptr;

class Session {
public:
    Session(const UpgradeOptions& o, Io io) : o_(o), io_(io), report_(io, o.json, o.verbosity) {}

    int run();
    bool interrupt(int signal) {
        if (interrupted_.exchange(signal) != 0) {
            return false;
        }
        if (clock_) {
            clock_->notify();
        }
        return true;
    }

private:
    int finish(int code, const std::string& detail = {}) {
        report_.end(code, detail);
        return code;
    }
    std::optional<int> prepareLog();
    std::optional<int> askAgreement();
    std::optional<std::string> askDeviceNumber(const std::string& caption,
                                               const std::string& prompt,
                                               const std::string& defaultAnswer);
    int runUpgrade();
    Decision decisionOf(const TFOTAThread& worker, const std::string& image) const;

    const UpgradeOptions& o_;
    Io io_;
    Reporter report_;
    SelectionLog selection_;
    Clock* clock_ = nullptr;
    double timeScale_ = 1.0;

    std::atomic<int> interrupted_{0};
    // Whether the stick was gone when the upgrade ended (before the close
    // sequence, after which a stick going away changes nothing: fota-sim
    // ends once the program has reset it). UI thread only.
    std::optional<bool> stickLostAtEnd_;
    std::atomic<bool> connectionLost_{false};
    std::atomic<bool> dryRunStopped_{false};
    bool couldNotAsk_ = false;
    int questions_ = 0;
    std::mutex dryRunMutex_;
    std::string dryRunImage_;
};

std::optional<int> Session::prepareLog() {
    namespace fs = std::filesystem;
    std::string folder;
    if (o_.logDir) {
        std::error_code ec;
        fs::create_directories(*o_.logDir, ec);
        if (ec) {
            report_.error("cannot create the log folder " + *o_.logDir + ": " + ec.message());
            return finish(kExitFailure, "the event log has nowhere to go");
        }
        folder = *o_.logDir;
    } else {
        folder = DesktopFolder();
    }
    const std::string path = folder + "/" + kLogFileName;
    std::FILE* f = folder.empty() ? nullptr : std::fopen(path.c_str(), "ab");
    if (!f) {
        if (o_.logDir) {
            report_.error("cannot write the event log " + path);
            return finish(kExitFailure, "the event log has nowhere to go");
        }
        report_.error("warning: the event log cannot be written (" +
                      (folder.empty() ? std::string("no home folder") : path) +
                      "); this upgrade is not recorded. Use --log-dir DIR to write it elsewhere.");
    } else {
        std::fclose(f);
        report_.info("Event log: " + path);
    }
    return std::nullopt;
}

std::optional<int> Session::askAgreement() {
    if (o_.acceptAgreement) {
        return std::nullopt;
    }
    if (!io_.in || !io_.inTerminal) {
        report_.error(
            "the agreement must be accepted before an upgrade, and there is no terminal to ask "
            "on. Read it (fota-cli agreement), then pass --accept-agreement, or run fota-cli in a "
            "terminal.");
        return finish(kExitNoTerminal);
    }
    std::ostream& os = report_.prompt();
    os << "Agreement\n\n";
    for (const std::string& l : AgreementLines()) {
        os << l << "\n";
    }
    os << "Type yes to accept these conditions (I agree); anything else declines (I decline): ";
    os.flush();
    const auto answer = readAnswer(*io_.in);
    if (!answer) {
        os << "\n";
    }
    if (!answer || trimmedLower(*answer) != "yes") {
        report_.info("Agreement declined: the program ends, the trainer was not touched.");
        return finish(kExitDeclined);
    }
    return std::nullopt;
}

std::optional<std::string> Session::askDeviceNumber(const std::string& caption,
                                                    const std::string& prompt,
                                                    const std::string& defaultAnswer) {
    if (!io_.in || !io_.inTerminal) {
        couldNotAsk_ = true;
        return std::nullopt;  // start-up then goes on with 0; the start is refused below
    }
    report_.breakLine();
    std::ostream& os = report_.prompt();
    if (questions_++ == 0) {
        os << caption << "\n"
           << "(the trainer's ANT device number, from its label; 0 finds any trainer in range)\n";
    } else {
        os << "That is not a device number (a whole number, 0 or more). Try again.\n";
    }
    os << prompt << "[" << defaultAnswer << "] ";
    os.flush();
    const auto answer = readAnswer(*io_.in);
    if (!answer) {
        os << "\n(no answer: cancelled, which gives " << defaultAnswer << ")\n";
        os.flush();
        return std::nullopt;
    }
    if (trimmedLower(*answer).empty()) {
        return defaultAnswer;
    }
    return *answer;
}

Decision Session::decisionOf(const TFOTAThread& worker, const std::string& image) const {
    Decision d;
    d.version = worker.FirmwareVersion();
    d.subVersion = worker.FirmwareSubVersion();
    d.unitType = worker.UnitType();
    d.image = image;
    const TProgrammingStateFota state = worker.GetState();
    d.state = StateName(state);
    d.stateText = TMainForm::StatusText(state);
    d.error = worker.FotaNoError();
    d.log = selection_.lines();
    fillImage(d);
    return d;
}

int Session::run() {
    EventLogScope log(o_.logDir, [this](const std::string& line) {
        selection_.add(line);
        report_.eventLog(line);
    });
    if (auto code = askAgreement()) {
        return *code;
    }
    if (auto code = prepareLog()) {
        return *code;
    }
    return runUpgrade();
}

int Session::runUpgrade() {
    using Stick = UpgradeOptions::Stick;
    const bool simulate = o_.stick == Stick::Simulate;

    // One time base for the program and the simulated world. The real stick
    // always runs in real time.
    std::unique_ptr<Clock> clock;
    if (simulate && o_.virtualTime) {
        clock = std::make_unique<VirtualClock>(std::chrono::system_clock::now());
    } else {
        timeScale_ = simulate ? o_.speed : 1.0;
        clock = std::make_unique<RealClock>(timeScale_);
    }
    clock_ = clock.get();
    eventlog::setClock(clock.get());
    struct ClockRelease {
        Session* s;
        ~ClockRelease() {
            eventlog::setClock(nullptr);
            s->report_.setTime(nullptr);
            s->clock_ = nullptr;
        }
    } clockRelease{this};
    report_.setTime(
        [this] { return std::chrono::duration<double>(clock_->now()).count() / timeScale_; });

    std::unique_ptr<ant::InProcessLine> line;
    std::unique_ptr<sim::Simulator> simulator;  // made once the device number is known
    struct TrainerAtEnd {
        const Io& io;
        const std::unique_ptr<sim::Simulator>& simulator;
        ~TrainerAtEnd() {
            if (simulator && io.simulatedTrainer) {
                io.simulatedTrainer(simulator->trainer());
            }
        }
    } trainerAtEnd{io_, simulator};
    ant::TransportOpener opener;
    switch (o_.stick) {
        case Stick::Simulate:
            line = std::make_unique<ant::InProcessLine>(*clock);
            opener = [&line](ant::UCHAR, ant::ULONG) {
                return ant::OpenedTransport(line->programEnd());
            };
            break;
        case Stick::Port:
            opener = PortOpener(*clock, o_.port);
            break;
        case Stick::Usb:
            opener = ant::stickOpener(*clock, ant::StickChoice{ant::StickChoice::Kind::Usb, {}});
            break;
        case Stick::Auto:
            opener = ant::stickOpener(*clock, ant::StickChoice{});
            break;
    }
    if (io_.wrapLine) {
        opener = [inner = std::move(opener), wrap = io_.wrapLine](ant::UCHAR n, ant::ULONG baud) {
            ant::OpenedTransport opened = inner(n, baud);
            if (opened.transport) {
                opened.transport = wrap(std::move(opened.transport));
            }
            return opened;
        };
    }
    if (o_.recordFile) {
        opener = ant::recordingOpener(std::move(opener), *o_.recordFile, *clock);
    }
    ant::AntSerialLibrary library(*clock, opener);
    EventLoop loop(*clock);

    HeadlessWindow::Observer observer;
    observer.logBoxLine = [this](const std::string& l) { report_.logBox(l); };
    observer.message = [this](const std::string& text) {
        if (text.rfind("Connection Lost", 0) == 0) {
            connectionLost_ = true;
        }
        report_.message(text);
    };
    observer.status = [this, &library](const std::string& text) {
        std::string state;
        for (int s = psfBeforeStart; s <= psfNoNewFirmwareFound; ++s) {
            const auto st = static_cast<TProgrammingStateFota>(s);
            if (st != psfBeforeStart && TMainForm::StatusText(st) == text) {
                state = StateName(st);
            }
        }
        if (finalState(text) != psfBeforeStart && !stickLostAtEnd_) {
            stickLostAtEnd_ = library.stickLost();  // the close may follow at once
        }
        // A dry run never programs: its "Programming" texts would not be true.
        if (o_.dryRun && (state == StateName(psfProgrammingBoot) ||
                          state == StateName(psfProgrammingFirmware))) {
            return;
        }
        report_.status(text, state);
    };
    observer.progress = [this](std::int32_t max, std::int32_t position) {
        report_.progress(max, position);
    };
    observer.downloadDialog = [this](std::uint8_t unitType) { report_.download(unitType); };
    observer.inputBox = [this](const std::string& caption, const std::string& prompt,
                               const std::string& defaultAnswer) {
        return askDeviceNumber(caption, prompt, defaultAnswer);
    };

    HeadlessWindow window(loop, library, observer);
    TMainForm& form = window.form();
    if (o_.dryRun) {
        form.BeforeProgramming = [this](TFOTAThread&, const std::string& image, const TFirmware&) {
            {
                std::lock_guard lock(dryRunMutex_);
                dryRunImage_ = image;
            }
            WriteLog("Dry run: stopped before programming mode, the trainer was not changed");
            dryRunStopped_ = true;
            return false;
        };
    }

    if (simulate) {
        std::string how = "This is a simulation: a simulated ANT stick with a simulated " +
                          trainerText(o_.simulation.trainer) + "; no radio, no real trainer";
        if (o_.virtualTime) {
            how += "; in virtual time";
        } else if (o_.speed != 1.0) {
            char speed[32];
            std::snprintf(speed, sizeof speed, "%g", o_.speed);
            how += std::string("; ") + speed + " times faster than real time";
        }
        report_.info(how + ".");
    }
    std::optional<std::uint16_t> simulatedDeviceNumber;

    // Start-up: the device numbers (settings, --device-number, or the question).
    IniDeviceNumberStore settings(io_.settingsFile ? *io_.settingsFile
                                                   : IniDeviceNumberStore::DefaultPath());
    TrainerNumberStore store(settings, o_.deviceNumber);
    form.FormCreate(&store);
    if (couldNotAsk_) {
        WriteLog("No trainer device number, and no terminal to ask: the upgrade is not started");
        report_.error("no trainer device number: " + settings.path() +
                      " holds none, and there is no terminal to ask. Pass --device-number N "
                      "(the number on the trainer's label; 0 finds any trainer in range), or "
                      "store it there (see README).");
        return finish(kExitNoTerminal);
    }

    if (simulate) {
        sim::SimConfig config = o_.simulation;
        if (!o_.simDeviceNumberGiven && form.txtDeviceNumber > 0) {
            config.trainer.deviceNumber = static_cast<std::uint16_t>(form.txtDeviceNumber & 0xFFFF);
        }
        simulator = std::make_unique<sim::Simulator>(*clock, *line, config);
        simulatedDeviceNumber = config.trainer.deviceNumber;
    }

    struct Registration {
        Session* s;
        explicit Registration(Session* session) : s(session) {
            std::lock_guard lock(gActiveMutex);
            gActive = s;
        }
        ~Registration() {
            std::lock_guard lock(gActiveMutex);
            gActive = nullptr;
        }
    } registration(this);

    // The start button.
    form.Btn_StartClick();
    if (!form.LibraryInitialised()) {
        if (window.closed()) {
            const std::string why = library.lastError();
            return finish(kExitNoStick, why.empty() ? "no ANT USB stick found" : why);
        }
        if (form.txtDeviceNumber < 0) {
            return finish(kExitNoDeviceNumber,
                          "the trainer device number " + std::to_string(form.txtDeviceNumber) +
                              " from " + settings.path() +
                              " is negative; store the number from the trainer's label, or "
                              "pass --device-number N");
        }
        return finish(kExitFailure, "the upgrade could not start");
    }
    std::string stick = "Stick: " + library.stickDescription();
    if (simulatedDeviceNumber) {
        stick += ", the trainer on device number " + std::to_string(*simulatedDeviceNumber);
    }
    report_.info(stick);

    // A stick that goes away ends the upgrade as in the window: before the
    // worker starts the window says so and closes; a running worker sees its
    // own time-outs and ends in an error.
    auto stopping = [&] { return window.closed() || interrupted_.load() != 0; };
    bool startTimedOut = false;
    if (!loop.runUntil([&] { return stopping() || form.FFOTAThread != nullptr; }, kStartTimeout)) {
        startTimedOut = !stopping();
    }
    TFOTAThread* worker = form.FFOTAThread;
    if (worker && !stopping()) {
        loop.runUntil([&] { return stopping() || worker->Finished(); });
        if (worker->Finished() && !stopping()) {
            // The state poll shows the final state; after a success it also
            // shows the message and the download dialog and closes the window.
            loop.runUntil(
                [&] {
                    const TProgrammingStateFota s = worker->GetState();
                    return stopping() ||
                           (s != psfFinishOK && window.status() == TMainForm::StatusText(s));
                },
                kFinalStateGrace);
        }
    }

    // The way out: stop the worker when asked to, then "Close".
    if (!stickLostAtEnd_) {
        stickLostAtEnd_ = library.stickLost();
    }
    const int signal = interrupted_.load();
    if (signal != 0 || startTimedOut) {
        if (worker) {
            worker->Terminate();
        }
        if (signal != 0) {
            WriteLog("Upgrade stopped by the user (signal " + std::to_string(signal) + ")");
        } else {
            WriteLog("No channel event within " +
                     std::to_string(
                         std::chrono::duration_cast<std::chrono::seconds>(kStartTimeout).count()) +
                     " s of the start: giving up");
        }
    }
    if (!window.closed()) {
        if (form.LibraryInitialised()) {
            form.Btn_StopClick();
        } else {
            window.CloseWindow();
        }
    }

    if (signal != 0) {
        return finish(kExitInterrupted,
                      "stopped by the user; the trainer may be left in its "
                      "bootloader: run the upgrade again");
    }
    if (*stickLostAtEnd_) {
        return finish(kExitConnectionLost, "the ANT stick is gone: " + library.lastError());
    }
    if (connectionLost_) {
        return finish(kExitConnectionLost,
                      "no trainer answered on device number " +
                          std::to_string(form.txtDeviceNumber) +
                          ", or it was lost; bring the stick close to the trainer and check the "
                          "device number");
    }
    if (startTimedOut || !worker) {
        return finish(kExitFailure, "the stick opened no channel to the trainer");
    }
    const TProgrammingStateFota state = worker->GetState();
    if (o_.dryRun) {
        std::string image;
        {
            std::lock_guard lock(dryRunMutex_);
            image = dryRunImage_;
        }
        if (image.empty()) {
            image = selection_.loadedImage();
        }
        if (dryRunStopped_ || !selection_.lines().empty()) {
            report_.decision("dry_run", decisionOf(*worker, image));
        }
        if (dryRunStopped_) {
            return finish(kExitDryRun);
        }
    }
    const int code = ExitCodeForState(state);
    if (code == kExitDemoRefused) {
        return finish(code,
                      "this build carries the demo images, which are made for the simulated "
                      "trainer and never sent to a real one. Use --simulate, or build fota-cli "
                      "with the trainer maker's images (see README)");
    }
    if (code == kExitFailure) {
        return finish(code, "it stopped at \"" + TMainForm::StatusText(state) +
                                "\"; the event log has the details");
    }
    return finish(code);
}

}  // namespace

bool InterruptUpgrade(int signal) {
    std::lock_guard lock(gActiveMutex);
    return gActive && gActive->interrupt(signal == 0 ? 2 : signal);
}

int RunUpgradeCommand(Args args, Io io) {
    UpgradeOptions options;
    if (const auto error = ParseUpgradeOptions({args.begin(), args.end()}, options)) {
        io.err << "fota-cli: " << Printable(*error) << "\n(see fota-cli --help)\n";
        return kExitUsage;
    }
    if (options.help) {
        PrintHelp(io.out);
        return kExitOk;
    }
    Session session(options, io);
    return session.run();
}

int RunPlanCommand(Args args, Io io) {
    PlanOptions o;
    if (const auto error = ParsePlanOptions({args.begin(), args.end()}, o)) {
        io.err << "fota-cli: " << Printable(*error) << "\nusage: fota-cli plan --version V "
               << "[--subversion S] --unit-type U [--json]\n";
        return kExitUsage;
    }
    if (o.help) {
        io.out << "usage: fota-cli plan --version V [--subversion S] --unit-type U [--json]\n\n"
               << "What the image selection decides for a trainer reporting these numbers, "
                  "without any stick.\n\n"
               << kPlanOptionsHelp;
        return kExitOk;
    }

    // The engine's own selection, on a worker that never runs; its log lines
    // are caught here and no log file is written.
    SelectionLog selection;
    Decision d;
    {
        EventLogScope log(std::string(),
                          [&selection](const std::string& line) { selection.add(line); });
        VirtualClock clock;
        TFOTALink link;
        link.clock = &clock;
        TFOTAThread worker(link);
        worker.SetFirmwareVersion(o.version);
        worker.SetFirmwareSubVersion(o.subVersion);
        worker.SetUnitType(static_cast<std::uint8_t>(o.unitType));
        const bool chosen = worker.SelectFirmware();
        d.version = o.version;
        d.subVersion = o.subVersion;
        d.unitType = o.unitType;
        d.image = chosen ? worker.FirmwareName() : std::string();
        d.state = StateName(worker.GetState());
        d.stateText = TMainForm::StatusText(worker.GetState());
        d.error = worker.FotaNoError();
        d.log = selection.lines();
        const int code = d.image.empty() ? ExitCodeForState(worker.GetState()) : kExitOk;
        fillImage(d);
        Reporter report(io, o.json, 0);
        report.decision("plan", d);
        return code;
    }
}

int RunAgreementCommand(Args args, Io io) {
    if (!args.empty()) {
        io.err << "usage: fota-cli agreement\n";
        return kExitUsage;
    }
    for (const std::string& l : AgreementLines()) {
        io.out << l << "\n";
    }
    return kExitOk;
}

}  // namespace fota::cli
