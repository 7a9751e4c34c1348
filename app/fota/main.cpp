// fota: the window program. Upgrades a trainer's firmware over an ANT USB
// stick, or over a simulated stick and trainer with --simulate.

#include <QApplication>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "antlink/AntSerialLibrary.h"
#include "antlink/InProcessTransport.h"
#include "antlink/RecordingTransport.h"
#include "antlink/StickChooser.h"
#include "app/fota/FotaOptions.h"
#include "app/fota/ScreenshotTour.h"
#include "image/ImageStore.h"
#include "log/EventLog.h"
#include "platform/Clock.h"
#include "sim/Simulator.h"
#include "ui/qt/ChannelSettingsForm.h"
#include "ui/qt/Fonts.h"
#include "ui/qt/MainWindow.h"
#include "ui/qt/SettingsDeviceNumberStore.h"

using namespace fota;

namespace {

// --help works without a display.
bool asksForHelp(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            return true;
        }
    }
    return false;
}

ant::StickChoice stickChoice(const app::FotaOptions& o) {
    switch (o.stick) {
        case app::FotaOptions::Stick::Port:
            return ant::StickChoice::parse(o.port);
        case app::FotaOptions::Stick::Usb:
            return ant::StickChoice::parse("usb");
        default:
            return ant::StickChoice::parse("");
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (asksForHelp(argc, argv)) {
        std::fputs(app::FotaUsage().c_str(), stdout);
        return 0;
    }
    QApplication application(argc, argv);  // takes Qt's own options (-platform, ...)
    // The application's title. (Not set as the display name, which the
    // window system would append to every window's caption.)
    QApplication::setApplicationName("FOTA");
    QApplication::setFont(qt::windowFont(11));

    std::vector<std::string> args;
    const QStringList arguments = QApplication::arguments();
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        args.push_back(arguments[i].toStdString());
    }
    app::FotaOptions options;
    if (const auto error = app::ParseFotaOptions(args, options)) {
        std::fprintf(stderr, "fota: %s\n(see fota --help)\n", error->c_str());
        return 2;
    }
    if (options.logDir) {
        eventlog::setFolder(*options.logDir);
    }
    const bool simulate = options.stick == app::FotaOptions::Stick::Simulate;

    // One time base for the program and, with --simulate, the simulated world.
    RealClock clock(options.speed);
    std::unique_ptr<ant::InProcessLine> line;
    std::unique_ptr<sim::Simulator> simulator;
    ant::TransportOpener opener;
    qt::TForm1* window = nullptr;
    if (simulate) {
        line = std::make_unique<ant::InProcessLine>(clock);
        // The simulated trainer is plugged in when the stick is opened, and
        // answers to the device number the program then looks for.
        opener = [&line, &simulator, &clock, &window, config = options.simulation](
                     ant::UCHAR, ant::ULONG) mutable {
            if (!simulator) {
                if (window && window->form().DeviceNumber > 0) {
                    config.trainer.deviceNumber =
                        static_cast<std::uint16_t>(window->form().DeviceNumber & 0xFFFF);
                }
                simulator = std::make_unique<sim::Simulator>(clock, *line, config);
            }
            return ant::OpenedTransport(line->programEnd());
        };
    } else {
        opener = ant::stickOpener(clock, stickChoice(options));
    }
    if (options.recordFile) {
        opener = ant::recordingOpener(opener, *options.recordFile, clock);
    }
    ant::AntSerialLibrary library(clock, opener);
    qt::SettingsDeviceNumberStore store;

    int exitCode = 0;
    {
        qt::TForm1 mainWindow(library, clock);
        window = &mainWindow;
        mainWindow.setSimulated(simulate);
        std::unique_ptr<app::ScreenshotTour> tour;
        if (options.screenshotDir) {
            tour = std::make_unique<app::ScreenshotTour>(
                mainWindow, QString::fromStdString(*options.screenshotDir));
            tour->start();
        }
        if (!mainWindow.FormCreate(&store)) {
            return 0;  // the agreement was declined
        }
        qt::TForm2 channelSettings(mainWindow.form());  // hidden until "Config Channel"
        mainWindow.setChannelSettingsDialog(&channelSettings);
        if (tour) {
            tour->setChannelSettingsDialog(&channelSettings);
        }
        if (!simulate && ImageStore::isDemoSet()) {
            // Demo images are made for the simulated trainer only.
            mainWindow.blockStart("Demo images: for the simulated trainer only (--simulate)");
            std::fprintf(stderr,
                         "fota: this build carries the demo images, which are never sent to a "
                         "real trainer; run it with --simulate, or build it with the maker's "
                         "images\n");
        }
        mainWindow.show();
        exitCode = QApplication::exec();
        if (tour && !tour->succeeded() && exitCode == 0) {
            exitCode = 1;
        }
        window = nullptr;
    }
    if (const std::string why = library.lastError(); !why.empty()) {
        std::fprintf(stderr, "fota: %s\n", why.c_str());
    }
    return exitCode;
}
