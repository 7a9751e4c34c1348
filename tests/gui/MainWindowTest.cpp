// The main window on real widgets (offscreen): start-up with the agreement
// and the device numbers, the state poll, the progress bar, the hidden key,
// closing, and a short run against the simulated trainer.

#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <map>
#include <mutex>
#include <thread>

#include "antlink/ANTDEFINES.h"
#include "antlink/AntSerialLibrary.h"
#include "antlink/InProcessTransport.h"
#include "log/EventLog.h"
#include "platform/Clock.h"
#include "platform/MakerInfo.h"
#include "sim/Simulator.h"
#include "tests/gui/ModalAnswerer.h"
#include "tests/ui/Fakes.h"
#include "ui/qt/ActivityIndicator.h"
#include "ui/qt/ChannelSettingsForm.h"
#include "ui/qt/MainWindow.h"

using namespace fota;
using namespace fota::testing;
using fota::qt::TForm1;

namespace {

const std::string kFirst = "\\SOFTWARE\\Norvo\\Mova\\PelorDeviceMovaAnt\\";
const std::string kSecond = "\\SOFTWARE\\Norvo\\Mova\\PelorDeviceAntP\\";

MapStore TrainerNumber(const std::string& n) {
    MapStore s;
    s.values[kFirst + "MovaAntSettings_TrainerDeviceNumber"] = n;
    return s;
}

// A window on a scripted library whose time base runs 100 times faster than
// real time: the pump ticks every 3 ms, the state poll every 10 ms, and the
// close sequence's two seconds take 20 ms.
struct Fixture {
    Fixture() : window(library, clock) {
        window.setEndProgram([this](int code) { endings.push_back(code); });
    }
    ~Fixture() { window.form().FFOTAThread = nullptr; }

    bool startUp(DeviceNumberStore& store) {
        answers.then(ModalAnswerer::agree());
        return window.FormCreate(&store);
    }
    // Start, then acknowledge every command up to the open channel.
    void openChannel() {
        window.Btn_Start->click();
        for (std::uint8_t id :
             {ant::MESG_NETWORK_KEY_ID, ant::MESG_ASSIGN_CHANNEL_ID, ant::MESG_CHANNEL_ID_ID,
              ant::MESG_CHANNEL_MESG_PERIOD_ID, ant::MESG_CHANNEL_SEARCH_TIMEOUT_ID,
              ant::MESG_CHANNEL_RADIO_FREQ_ID, ant::MESG_OPEN_CHANNEL_ID}) {
            library.Respond(0, id, 0);
        }
        QTRY_VERIFY(window.form().bOpenChannel);
    }
    int count(const std::string& call) const {
        return static_cast<int>(std::count(library.calls.begin(), library.calls.end(), call));
    }

    RealClock clock{100.0};
    ScriptedAntLibrary library;
    ModalAnswerer answers;
    TForm1 window;
    std::vector<int> endings;
};

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir logDir_;
    std::vector<std::string> eventLog_;
    std::mutex eventLogMutex_;

    std::vector<std::string> eventLog() {
        std::lock_guard lock(eventLogMutex_);
        return eventLog_;
    }
    bool logged(const std::string& line) {
        const auto log = eventLog();
        return std::find(log.begin(), log.end(), line) != log.end();
    }

private slots:
    void initTestCase() {
        QVERIFY(logDir_.isValid());
        eventlog::setFolder(logDir_.path().toStdString());
        eventlog::setDebugOutput(false);
        eventlog::setObserver([this](const std::string& text) {
            std::lock_guard lock(eventLogMutex_);
            eventLog_.push_back(text);
        });
    }
    void cleanupTestCase() {
        eventlog::setObserver(nullptr);
        eventlog::setFolder(std::nullopt);
    }
    void init() {
        std::lock_guard lock(eventLogMutex_);
        eventLog_.clear();
    }

    void startUpLeavesTheWindowReadyWithOnlyTheTopStripShown() {
        Fixture f;
        MapStore store = TrainerNumber("1234");
        QVERIFY(f.startUp(store));
        f.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f.window));

        QCOMPARE(f.answers.seen.size(), 1);
        QCOMPARE(f.answers.seen[0].kind, QString("agreement"));
        QCOMPARE(f.window.lblStatus->text(), QString("Ready to start"));
        QVERIFY(f.window.Btn_Start->isEnabled());
        QVERIFY(!f.window.Btn_Stop->isEnabled());
        QCOMPARE(f.window.ProgressBar1->minimum(), 0);
        QCOMPARE(f.window.ProgressBar1->maximum(), 100);
        QCOMPARE(f.window.ProgressBar1->value(), 0);
        QCOMPARE(f.window.Memo1->toPlainText(), QString(""));
        QVERIFY(!f.window.actvtyndctr1->animate());
        QVERIFY(f.window.tmrProcessANTMessage->isActive());
        QVERIFY(!f.window.TimerStatoProcesso->isActive());
        QCOMPARE(f.window.txtDeviceNumber->value(), 1234);
        for (QWidget* hidden : std::initializer_list<QWidget*>{
                 f.window.lblDevNumber, f.window.txtDeviceNumber, f.window.Label7,
                 f.window.Spin_ChannelID, f.window.cmbTipoTrainer, f.window.lbl1, f.window.Button1,
                 f.window.Button7}) {
            QVERIFY2(!hidden->isVisible(), qPrintable(hidden->objectName()));
        }
        QVERIFY(f.window.btn1->isVisibleTo(&f.window));
        QTRY_COMPARE(f.window.frameGeometry().height(), TForm1::kOuterHeight);
        QCOMPARE(f.window.width(), TForm1::kClientWidth);

        const std::vector<std::string> expected = {"ANT DLLs found!", "Run time Mode!",
                                                   "FormCreate", "Trainer Device Number 1234",
                                                   "Console Device Number -1"};
        QCOMPARE(eventLog(), expected);
    }

    void declinedAgreementEndsStartUpWithoutAnotherQuestion() {
        Fixture f;
        MapStore empty;  // would make start-up ask for the number
        f.answers.then(ModalAnswerer::decline());
        QVERIFY(!f.window.FormCreate(&empty));
        QTest::qWait(50);
        QCOMPARE(f.answers.seen.size(), 1);
        QCOMPARE(f.answers.seen[0].kind, QString("agreement"));
        QVERIFY(!logged("FormCreate"));
        QVERIFY(f.library.calls.empty());
    }

    void startUpDeviceNumbers_data() {
        QTest::addColumn<QString>("first");        // trainer number, first location ("" none)
        QTest::addColumn<QString>("second");       // trainer number, second location
        QTest::addColumn<QString>("console");      // console number, first location
        QTest::addColumn<QStringList>("answers");  // "<cancel>" cancels
        QTest::addColumn<int>("questions");
        QTest::addColumn<int>("number");
        QTest::addColumn<bool>("boxShown");
        QTest::addColumn<QString>("consoleLine");

        const QStringList none;
        QTest::newRow("only the second location")
            << ""
            << "77"
            << "" << none << 0 << 77 << false << "Console Device Number -1";
        QTest::newRow("both: the first wins")
            << "12"
            << "77"
            << "4321" << none << 0 << 12 << false << "Console Device Number 4321";
        QTest::newRow("first holds -1: asked")
            << "-1"
            << "77"
            << "" << QStringList{"5"} << 1 << 5 << true << "Console Device Number -1";
        QTest::newRow("first holds -5: kept")
            << "-5"
            << ""
            << "" << none << 0 << -5 << false << "Console Device Number -1";
        QTest::newRow("abc and -3 asked again") << ""
                                                << ""
                                                << "" << QStringList{"abc", "-3", "0012"} << 3 << 12
                                                << true << "Console Device Number -1";
        QTest::newRow("cancel gives 0")
            << ""
            << ""
            << "" << QStringList{"<cancel>"} << 1 << 0 << true << "Console Device Number -1";
        QTest::newRow("stored text that is no number")
            << "12x"
            << ""
            << "" << QStringList{"8"} << 1 << 8 << true << "Console Device Number -1";
    }
    void startUpDeviceNumbers() {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(QString, console);
        QFETCH(QStringList, answers);
        QFETCH(int, questions);
        QFETCH(int, number);
        QFETCH(bool, boxShown);
        QFETCH(QString, consoleLine);

        MapStore store;
        if (!first.isEmpty()) {
            store.values[kFirst + "MovaAntSettings_TrainerDeviceNumber"] = first.toStdString();
        }
        if (!second.isEmpty()) {
            store.values[kSecond + "QebAntP_DeviceNumber"] = second.toStdString();
        }
        if (!console.isEmpty()) {
            store.values[kFirst + "MovaAntSettings_ConsoleSerialNumber"] = console.toStdString();
        }
        Fixture f;
        f.answers.then(ModalAnswerer::agree());
        for (const QString& a : answers) {
            f.answers.then(a == "<cancel>" ? ModalAnswerer::cancel() : ModalAnswerer::type(a));
        }
        QVERIFY(f.window.FormCreate(&store));

        QCOMPARE(f.answers.seen.size(), 1 + questions);
        for (int i = 1; i <= questions; ++i) {
            QCOMPARE(f.answers.seen[i].kind, QString("input"));
            QCOMPARE(f.answers.seen[i].title, QString("Trainer Seral Not Found"));
            QCOMPARE(f.answers.seen[i].text, QString("TRainer Serial Number : "));
        }
        QCOMPARE(f.window.txtDeviceNumber->value(), number);
        QCOMPARE(f.window.form().txtDeviceNumber, number);
        QCOMPARE(f.window.txtDeviceNumber->isVisibleTo(&f.window), boxShown);
        QCOMPARE(f.window.lblDevNumber->isVisibleTo(&f.window), boxShown);
        QVERIFY(logged("Trainer Device Number " + std::to_string(number)));
        QVERIFY(logged(consoleLine.toStdString()));
        if (first == "12x") {
            QVERIFY(logged("Ignoring " + kFirst +
                           "MovaAntSettings_TrainerDeviceNumber: '12x' is not a valid integer "
                           "value"));
        }
    }

    void negativeDeviceNumberRefusesTheStart() {
        Fixture f;
        MapStore store = TrainerNumber("-5");
        QVERIFY(f.startUp(store));
        f.answers.then(ModalAnswerer::accept());
        f.window.Btn_Start->click();
        QCOMPARE(f.answers.seen.size(), 2);
        QCOMPARE(f.answers.seen[1].text,
                 QString("No trainer Norvo ANT installed, firmware update noT possible!"));
        QVERIFY(f.library.calls.empty());
        QVERIFY(f.window.Btn_Start->isEnabled());
    }

    void statePoll_data() {
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("keepsRunning");  // poll and indicator
        const QString zero =
            QString("SetZeroPosition Failed,contact ") + maker::kSupportEmail + " !!!";
        struct Row {
            TProgrammingStateFota state;
            QString text;
            bool running;
        } rows[] = {
            {psfBeforeStart, "....", true},
            {psfStart, "Start Programming!", true},
            {psfProgrammingBoot, "Step 1 of 2: Programming Bootloader...", true},
            {psfProgrammingFirmware, "Step 2 of 2: Programming Firmware....", true},
            {psfEnd, "Finish Correctly Programming!", false},
            {psfError, "Generic Error. Try Again!", false},
            {psfAlreadyUpdated,
             "The system is already updated, no action required! Close the software.", false},
            {psfErrorFirmwareImage, "No firmaware image available", false},
            {psfWaitignConnection, "Waiting for Connection", true},
            {psfUpgradeNotPossible, "Upgrade not possible!", false},
            {psfZeroPositionError, zero, false},
            {psf64MicroBlock, "Firmware not available for 64K micro.", true},
            {psfNoNewFirmwareFound,
             "Starting firmware version is not found, please contact norvo. "
             "[psfNoNewFirmwareFound]",
             true},
        };
        for (const Row& r : rows) {
            QTest::newRow(StateName(r.state)) << int(r.state) << r.text << r.running;
        }
    }
    void statePoll() {
        QFETCH(int, state);
        QFETCH(QString, text);
        QFETCH(bool, keepsRunning);
        Fixture f;
        MapStore store = TrainerNumber("1234");
        QVERIFY(f.startUp(store));
        TFOTAThread worker(f.window.form());  // never started: the state is set by hand
        worker.SetState(static_cast<TProgrammingStateFota>(state));
        f.window.form().FFOTAThread = &worker;
        f.window.SetActivity(true);
        f.window.SetStatePoll(true);

        QTRY_COMPARE(f.window.lblStatus->text(), text);
        QTest::qWait(50);  // several more ticks
        QCOMPARE(f.window.TimerStatoProcesso->isActive(), keepsRunning);
        QCOMPARE(f.window.actvtyndctr1->animate(), keepsRunning);
        if (keepsRunning) {
            // Every tick sets the text again.
            f.window.lblStatus->setText("overwritten");
            QTRY_COMPARE(f.window.lblStatus->text(), text);
        }
        QVERIFY(f.answers.seen.size() == 1);  // no box but the agreement
        QVERIFY(f.endings.empty());
    }

    void finishOkShowsMessageThenDownloadDialogThenClosesTheLink() {
        Fixture f;
        MapStore store = TrainerNumber("1234");
        QVERIFY(f.startUp(store));
        f.openChannel();
        TFOTAThread worker(f.window.form());
        worker.SetUnitType(16);
        worker.SetState(psfFinishOK);
        f.window.form().FFOTAThread = &worker;

        struct Moment {
            QString status;
            bool pollRunning;
            std::size_t libraryCalls;
        };
        std::vector<Moment> moments;
        f.answers.onSeen = [&](QWidget*, const ModalAnswerer::Seen&) {
            moments.push_back({f.window.lblStatus->text(), f.window.TimerStatoProcesso->isActive(),
                               f.library.calls.size()});
        };
        f.answers.then(ModalAnswerer::accept()).then(ModalAnswerer::closeDownload());
        const std::size_t callsBefore = f.library.calls.size();
        f.window.SetStatePoll(true);

        QTRY_COMPARE(f.endings, std::vector<int>{0});
        const QString finish =
            "Update finish correctly! Pay attention: Intall the Mova software for FEC trainer.";
        QCOMPARE(f.answers.seen.size(), 3);
        QCOMPARE(f.answers.seen[1].kind, QString("message"));
        QCOMPARE(f.answers.seen[1].text, QString("Firmware Upgraded Successfully!"));
        QCOMPARE(f.answers.seen[2].kind, QString("download"));
        QCOMPARE(f.answers.seen[2].unitType, 16);
        QCOMPARE(f.answers.seen[2].text, QString("DIRECT LINK -->  ") + maker::kInstallerPu);
        // The text first, the poll off before the first box, the link still
        // open while the boxes are up, closed once afterwards.
        QCOMPARE(moments.size(), std::size_t{2});
        QCOMPARE(moments[0].status, finish);
        QVERIFY(!moments[0].pollRunning);
        QCOMPARE(moments[1].libraryCalls, callsBefore);
        QCOMPARE(f.count("AssignResponse(nil)"), 1);
        QCOMPARE(f.count("Close"), 1);
        QVERIFY(!f.window.form().bOpenChannel);
        QCOMPARE(f.window.lblStatus->text(), finish);
        QVERIFY(!f.window.TimerStatoProcesso->isActive());
        QVERIFY(!f.window.actvtyndctr1->animate());
        QTest::qWait(30);
        QCOMPARE(f.answers.seen.size(), 3);
    }

    void progressReachesTheBarFromTheWorkersThread() {
        Fixture f;
        std::thread worker([&] {
            f.window.form().ProgressFOTAProgramming(nullptr, 100, 5);
            f.window.form().ProgressFOTAProgramming(nullptr, 120, 1);
        });
        worker.join();
        QCOMPARE(f.window.ProgressBar1->value(), 0);  // not yet: it goes through the UI thread
        QTRY_COMPARE(f.window.ProgressBar1->maximum(), 120);
        QCOMPARE(f.window.ProgressBar1->value(), 1);
        QCOMPARE(f.window.ProgressBar1->minimum(), 0);
    }

    void hiddenKey_data() {
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<int>("presses");
        QTest::addColumn<bool>("shown");
        const int all = Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier;
        QTest::newRow("Ctrl+Alt+Shift+F2 shows") << all << 1 << true;
        QTest::newRow("twice hides again") << all << 2 << false;
        QTest::newRow("Ctrl+Shift+F2 does nothing")
            << int(Qt::ControlModifier | Qt::ShiftModifier) << 1 << false;
        QTest::newRow("with Meta does nothing") << int(all | Qt::MetaModifier) << 1 << false;
        QTest::newRow("F2 alone does nothing") << int(Qt::NoModifier) << 1 << false;
    }
    void hiddenKey() {
        QFETCH(int, modifiers);
        QFETCH(int, presses);
        QFETCH(bool, shown);
        Fixture f;
        MapStore store = TrainerNumber("1234");
        QVERIFY(f.startUp(store));
        f.window.show();
        QVERIFY(QTest::qWaitForWindowActive(&f.window));
        for (int i = 0; i < presses; ++i) {
            QTest::keyClick(f.window.ProgressBar1, Qt::Key_F2, Qt::KeyboardModifiers(modifiers));
        }
        QCOMPARE(f.window.lblDevNumber->isVisible(), shown);
        QCOMPARE(f.window.txtDeviceNumber->isVisible(), shown);
    }

    void closingTheWindow_data() {
        QTest::addColumn<QString>("link");
        QTest::addColumn<int>("closeSequences");
        QTest::newRow("channel open: once") << "open" << 1;
        QTest::newRow("still configuring: once") << "configuring" << 1;
        QTest::newRow("never started: none") << "idle" << 0;
    }
    void closingTheWindow() {
        QFETCH(QString, link);
        QFETCH(int, closeSequences);
        Fixture f;
        MapStore store = TrainerNumber("1234");
        QVERIFY(f.startUp(store));
        f.window.show();
        if (link == "open") {
            f.openChannel();
        } else if (link == "configuring") {
            f.window.Btn_Start->click();
        }
        f.window.close();  // as the title bar's close box does
        QCOMPARE(f.endings, std::vector<int>{0});
        QCOMPARE(f.count("AssignResponse(nil)"), closeSequences);
        QCOMPARE(f.count("Close"), closeSequences);
        QVERIFY(!f.window.tmrProcessANTMessage->isActive());
        f.window.close();
        QCOMPARE(f.count("Close"), closeSequences);
    }

    void closeButtonEndsTheProgram() {
        Fixture f;
        MapStore store = TrainerNumber("1234");
        QVERIFY(f.startUp(store));
        f.openChannel();
        QVERIFY(!f.window.Btn_Start->isEnabled());
        QVERIFY(f.window.actvtyndctr1->animate());
        f.window.Btn_Stop->click();
        QCOMPARE(f.endings, std::vector<int>{0});
        QCOMPARE(f.count("Close"), 1);
        const auto log = f.window.Memo1->toPlainText();
        QVERIFY(
            log.endsWith("ANT_AssignResponseFunction @nil\n"
                         "ANT_AssignChannelEventFunction @nil\nCmd - ResetSystem\n"
                         "Cmd - Close"));
    }

    // A demo build on a real stick: the start stays refused, whatever enables buttons.
    void aBlockedStartStaysBlocked() {
        Fixture f;
        MapStore store = TrainerNumber("1234");
        QVERIFY(f.startUp(store));
        f.window.blockStart("Demo images: for the simulated trainer only (--simulate)");
        QVERIFY(!f.window.Btn_Start->isEnabled());
        QCOMPARE(f.window.lblStatus->text(),
                 QString("Demo images: for the simulated trainer only (--simulate)"));
        f.window.SetButtons(true, false);
        QVERIFY(!f.window.Btn_Start->isEnabled());
    }

    void noStickShowsTheMessageAndEndsTheProgram() {
        Fixture f;
        MapStore store = TrainerNumber("1234");
        QVERIFY(f.startUp(store));
        f.library.initResult = ant::FALSE;
        f.answers.then(ModalAnswerer::accept());
        f.window.Btn_Start->click();
        QCOMPARE(f.answers.seen.last().text,
                 QString("ANT USB Dongle Required!! Please plug it in ."));
        QCOMPARE(f.endings, std::vector<int>{0});
        QVERIFY(!f.window.actvtyndctr1->animate());
        QCOMPARE(f.count("Close"), 0);  // nothing to close: the library never opened
    }

    // The first channel event starts the worker; a search timeout then ends
    // the program after its message, the worker stopped.
    void lostTrainerShowsTheMessageAndEndsTheProgram() {
        Fixture f;
        MapStore store = TrainerNumber("1234");
        QVERIFY(f.startUp(store));
        f.openChannel();
        f.answers.then(ModalAnswerer::accept());
        f.library.Event(ant::EVENT_RX_SEARCH_TIMEOUT);
        QTRY_COMPARE(f.endings, std::vector<int>{0});
        QCOMPARE(f.answers.seen.last().text,
                 QString("Connection Lost,restart the software and try to run it again."));
        TFOTAThread* worker = f.window.form().FFOTAThread;
        QVERIFY(worker && worker->Terminated());
        QTRY_VERIFY(worker->Finished());
        QVERIFY(!f.window.tmrProcessANTMessage->isActive());
        QVERIFY(!f.window.actvtyndctr1->animate());
    }

    void diagnosticControls() {
        Fixture f;
        MapStore store = TrainerNumber("1234");
        store.values[kFirst + "MovaAntSettings_ConsoleSerialNumber"] = "4321";
        QVERIFY(f.startUp(store));
        qt::TForm2 settings(f.window.form());
        f.window.setChannelSettingsDialog(&settings);

        f.window.Button1->click();  // "Config Channel", without blocking
        QVERIFY(settings.isVisible());
        QVERIFY(!settings.isModal());
        settings.hide();

        f.window.cmbTipoTrainer->setEditText("Console");
        QCOMPARE(f.window.txtDeviceNumber->value(), 4321);
        f.window.cmbTipoTrainer->setEditText("console");
        QCOMPARE(f.window.txtDeviceNumber->value(), 4321);
        f.window.cmbTipoTrainer->setEditText("Mova");
        QCOMPARE(f.window.txtDeviceNumber->value(), 1234);

        // Typing in the device-number box is what the start sequence sends.
        f.window.txtDeviceNumber->setValue(70000);
        f.window.Btn_Start->click();
        QVERIFY(std::find(f.library.calls.begin(), f.library.calls.end(), "Init(0,57600)") !=
                f.library.calls.end());
        f.library.Respond(0, ant::MESG_NETWORK_KEY_ID, 0);
        f.library.Respond(0, ant::MESG_ASSIGN_CHANNEL_ID, 0);
        QTRY_VERIFY(std::find(f.library.calls.begin(), f.library.calls.end(),
                              "SetChannelId(0,4464,19,1)") != f.library.calls.end());

        f.answers.then(ModalAnswerer::closeDownload());
        f.window.btn1->click();
        QCOMPARE(f.answers.seen.last().kind, QString("download"));
        QCOMPARE(f.answers.seen.last().unitType, 9);
        QCOMPARE(f.answers.seen.last().text, QString("DIRECT LINK -->  ") + maker::kInstallerKov);
    }

    void maximisingShowsTheLogBox() {
        Fixture f;
        MapStore store = TrainerNumber("1234");
        QVERIFY(f.startUp(store));
        f.window.show();
        QTRY_COMPARE(f.window.frameGeometry().height(), TForm1::kOuterHeight);
        f.window.showMaximized();
        QTRY_VERIFY(f.window.height() >= TForm1::kClientHeight);
        QVERIFY(f.window.Memo1->height() > 200);
        f.window.showNormal();
        QTRY_COMPARE(f.window.frameGeometry().height(), TForm1::kOuterHeight);
    }

    // A few seconds of a real upgrade against the simulated trainer, the
    // simulated world and the window running 20 times faster than real time;
    // closed in the middle of the transfer.
    void closingDuringAnUpgradeStopsTheWorker() {
        RealClock clock(20.0);
        ant::InProcessLine line(clock);
        sim::SimConfig config;  // a KOV trainer on old firmware: bootloader first
        sim::Simulator simulator(clock, line, config);
        ant::AntSerialLibrary library(clock, [&line](ant::UCHAR, ant::ULONG) {
            return ant::OpenedTransport(line.programEnd());
        });
        std::vector<int> endings;
        ModalAnswerer answers;
        {
            TForm1 window(library, clock);
            window.setEndProgram([&](int code) { endings.push_back(code); });
            answers.then(ModalAnswerer::agree());
            MapStore store = TrainerNumber("1234");
            QVERIFY(window.FormCreate(&store));
            window.show();
            window.Btn_Start->click();
            QTRY_VERIFY_WITH_TIMEOUT(window.ProgressBar1->value() >= 2, 60000);
            QCOMPARE(window.lblStatus->text(), QString("Step 1 of 2: Programming Bootloader..."));
            QVERIFY(window.form().FFOTAThread && !window.form().FFOTAThread->Finished());
            window.Btn_Stop->click();
            QCOMPARE(endings, std::vector<int>{0});
            QVERIFY(!window.form().LibraryInitialised());
        }  // the worker is stopped and joined here, before the window's state goes
        QCOMPARE(answers.seen.size(), 1);
    }
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
