#include "tests/e2e/UpgradeHarness.h"

#include <unistd.h>

#include <clocale>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "antlink/AntSerialLibrary.h"
#include "antlink/InProcessTransport.h"
#include "image/ImageStore.h"
#include "log/EventLog.h"
#include "platform/EventLoop.h"
#include "sim/Simulator.h"
#include "ui/HeadlessWindow.h"

namespace fota::testing {

namespace {

class OneNumberStore : public DeviceNumberStore {
public:
    explicit OneNumberStore(std::int32_t n) : n_(n) {}
    std::optional<std::string> ReadString(const std::string&, const std::string& name) override {
        if (name == "MovaAntSettings_TrainerDeviceNumber") {
            return std::to_string(n_);
        }
        return std::nullopt;
    }

private:
    std::int32_t n_;
};

}  // namespace

UpgradeRun RunUpgrade(const sim::SimConfig& config, std::int32_t deviceNumber) {
    return RunUpgrade(config, deviceNumber, RunHooks{});
}

UpgradeRun RunUpgrade(const sim::SimConfig& config, std::int32_t deviceNumber,
                      const RunHooks& hooks) {
    namespace fs = std::filesystem;
    std::setlocale(LC_ALL, "C");
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    static int runs = 0;
    const fs::path dir = fs::temp_directory_path() /
                         ("fota-e2e-" + std::to_string(::getpid()) + "-" + std::to_string(++runs));
    fs::remove_all(dir);
    fs::create_directories(dir);

    UpgradeRun run;
    {
        VirtualClock clock;
        eventlog::setFolder(dir.string());
        eventlog::setClock(&clock);
        eventlog::setDebugOutput(false);
        eventlog::setObserver([&run, &clock](const std::string& text) {
            run.eventLog.push_back(text);
            run.eventTimes.push_back(std::chrono::duration<double>(clock.now()).count());
        });

        ant::InProcessLine line(clock);
        std::optional<sim::Simulator> simulator;
        ant::TransportOpener opener;
        if (hooks.stick) {
            opener = hooks.stick(clock);
        } else {
            simulator.emplace(clock, line, config);
            opener = [&line](ant::UCHAR, ant::ULONG) {
                return ant::OpenedTransport(line.programEnd());
            };
        }
        if (hooks.wrapOpener) {
            opener = hooks.wrapOpener(std::move(opener), clock);
        }
        ant::AntSerialLibrary library(clock, std::move(opener));
        EventLoop loop(clock);
        HeadlessWindow::Observer observer;
        observer.downloadDialog = [&run](std::uint8_t u) { run.downloadDialogs.push_back(u); };
        {
            HeadlessWindow window(loop, library, observer);
            TMainForm& form = window.form();
            OneNumberStore store(deviceNumber);
            form.FormCreate(&store);
            if (hooks.prepareForm) {
                hooks.prepareForm(form);
            }
            form.Btn_StartClick();

            // Until the window closes, or the worker has ended and the window
            // shows its final state: then the user presses "Close".
            constexpr auto kLimit = std::chrono::hours(3);
            loop.runUntil(
                [&] {
                    return window.closed() || (form.FFOTAThread && form.FFOTAThread->Finished());
                },
                kLimit);
            run.upgradeSeconds = std::chrono::duration<double>(clock.now()).count();
            if (!window.closed()) {
                loop.runUntil([&] { return window.closed(); }, std::chrono::seconds(3));
            }
            if (!window.closed()) {
                form.Btn_StopClick();
            }
            run.exitCode = loop.run();
            run.terminated = !window.messages().empty() &&
                             window.messages().back().rfind("Connection Lost", 0) == 0;
            if (form.FFOTAThread) {
                form.FFOTAThread->Terminate();
                form.FFOTAThread->WaitFor();
                run.finalState = form.FFOTAThread->GetState();
                run.upgradeFailed = form.FFOTAThread->FotaNoError();
            }
            run.protocolSeconds = std::chrono::duration<double>(clock.now()).count();
            run.logBox = window.logBox();
            run.messages = window.messages();
            run.status = window.status();
        }
        if (simulator) {
            run.trainer = simulator->trainer();
        }
        eventlog::setObserver(nullptr);
        eventlog::setClock(nullptr);
        eventlog::setFolder(std::nullopt);
    }
    std::ifstream in(dir / kLogFileName, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    run.logFile = text.str();
    fs::remove_all(dir);
    return run;
}

sim::BlockList BlocksOf(const std::string& imageName) {
    TFirmware fw;
    ImageStore::load(imageName, fw);
    sim::BlockList blocks;
    for (const TBlock& b : fw.buff) {
        blocks.emplace_back(b.address, b.block);
    }
    return blocks;
}

int BlockCount(const std::string& imageName) {
    return static_cast<int>(BlocksOf(imageName).size());
}

}  // namespace fota::testing
