#include "ui/ConfigForm.h"

#include <cstdarg>
#include <cstdio>

#include "antlink/ANTCommands.h"
#include "antlink/ANTDEFINES.h"
#include "log/EventLog.h"
#include "platform/Convert.h"
#include "platform/MakerInfo.h"
#include "protocol/FotaPages.h"

namespace fota {

std::string Format(const char* fmt, ...) {
    char text[512];
    va_list args;
    va_start(args, fmt);
    const int n = std::vsnprintf(text, sizeof text, fmt, args);
    va_end(args);
    if (n < 0) {
        return {};
    }
    return std::string(text, std::min<std::size_t>(static_cast<std::size_t>(n), sizeof text - 1));
}

TMainForm::TMainForm(WindowPort& port, ant::AntLibrary& library, Clock& timeBase) : port_(port) {
    antLibrary = &library;
    clock = &timeBase;
    PEventResponseBufferChar = EventResponseBuffer.data();
}

TMainForm::~TMainForm() {
    antLibrary->setStickLostHandler(nullptr);
    // The workers use this window's flags and library: stop them first.
    for (auto& w : workers_) {
        w->Terminate();
    }
    for (auto& w : workers_) {
        w->WaitFor();
    }
    if (libraryInitialised_) {
        antLibrary->ANT_AssignResponseFunction(nullptr, EventResponseBuffer.data());
        antLibrary->ANT_AssignChannelEventFunction(0, nullptr, aucRxBuf.data());
        antLibrary->ANT_Close();
    }
}

// ---------------------------------------------------------------- start-up

void TMainForm::FormCreate(DeviceNumberStore* store) {
    // The ANT library is built in: its files are always present.
    WriteLog("ANT DLLs found!");
    deviceNumberVisible = false;
    port_.SetDeviceNumberVisible(false);
    WriteLog("Run time Mode!");
    WriteLog("FormCreate");

    TrainerDeviceNumber = ReadTrainerDeviceNumber(store);
    if (TrainerDeviceNumber == -1) {
        std::int32_t answer = -1;
        do {
            const auto text =
                port_.InputBox("Trainer Seral Not Found", "TRainer Serial Number : ", "0");
            try {
                answer = StrToInt(text.value_or("0"));
            } catch (const ConvertError&) {
                answer = -1;
            }
        } while (answer < 0);
        TrainerDeviceNumber = answer;
        deviceNumberVisible = true;
        port_.SetDeviceNumberVisible(true);
    }
    WriteLog("Trainer Device Number " + std::to_string(TrainerDeviceNumber));
    ConsoleDeviceNumber = ReadConsoleDeviceNumber(store);
    WriteLog("Console Device Number " + std::to_string(ConsoleDeviceNumber));
    txtDeviceNumber = TrainerDeviceNumber;

    CreateChannelGenericQueue();

    PEventResponseBufferChar = EventResponseBuffer.data();
    NetworkNumber = 0;
    bOpenChannel = false;
    MessagePeriod = 31814;
    DeviceType = 19;
    TransmissionType = 1;
    ChannelType = 0;
    Baudrate = 57600;
    RFChannel = 71;
    DeviceNumber = txtDeviceNumber;
    Reset();
    port_.SetStatusText("Ready to start");
}

namespace {

// A stored value that is not an integer counts as absent, with a line saying so.
std::optional<std::int32_t> readNumber(DeviceNumberStore* store, const std::string& key,
                                       const std::string& name) {
    if (!store) {
        return std::nullopt;
    }
    const auto text = store->ReadString(key, name);
    if (!text) {
        return std::nullopt;
    }
    try {
        return StrToInt(*text);
    } catch (const ConvertError&) {
        WriteLog("Ignoring " + key + name + ": '" + *text + "' is not a valid integer value");
        return std::nullopt;
    }
}

std::int32_t lookup(DeviceNumberStore* store, const char* firstName, const char* secondName) {
    static const std::string first = "\\SOFTWARE\\Norvo\\Mova\\PelorDeviceMovaAnt\\";
    static const std::string second = "\\SOFTWARE\\Norvo\\Mova\\PelorDeviceAntP\\";
    if (auto v = readNumber(store, first, firstName)) {
        return *v;
    }
    if (auto v = readNumber(store, second, secondName)) {
        return *v;
    }
    return -1;
}

}  // namespace

std::int32_t TMainForm::ReadTrainerDeviceNumber(DeviceNumberStore* store) {
    return lookup(store, "MovaAntSettings_TrainerDeviceNumber", "QebAntP_DeviceNumber");
}

std::int32_t TMainForm::ReadConsoleDeviceNumber(DeviceNumberStore* store) {
    return lookup(store, "MovaAntSettings_ConsoleSerialNumber", "QebAntP_ConsoleDeviceNumber");
}

void TMainForm::FormKeyDown(int key, bool shift, bool alt, bool ctrl, bool otherModifiers) {
    constexpr int VK_F2 = 113;
    if (key == VK_F2 && shift && alt && ctrl && !otherModifiers) {
        deviceNumberVisible = !deviceNumberVisible;
        port_.SetDeviceNumberVisible(deviceNumberVisible);
    }
}

// ----------------------------------------------------------- event intake

bool TMainForm::CreateChannelGenericQueue() {
    try {
        ChannelGenericQueue = std::make_unique<TChannelGenericQueue>(1000);
        return true;
    } catch (const std::exception&) {
        WriteLog(" Error crating ChannelGenericQueue!");
        return false;
    }
}

bool TMainForm::ANTResponseCallback(std::uint8_t channel, std::uint8_t messageId) {
    auto m = std::make_unique<TANTGenericMessage>();
    m->MessageType = mtMainEvent;
    m->Channel = channel;
    m->Event = messageId;
    m->Buffer.assign(EventResponseBuffer.begin(), EventResponseBuffer.end());
    ChannelGenericQueue->Push(std::move(m));
    return true;
}

bool TMainForm::ANTChannelEventCallback(std::uint8_t channel, std::uint8_t eventCode) {
    auto m = std::make_unique<TANTGenericMessage>();
    m->MessageType = mtChannelEvent;
    m->Channel = channel;
    m->Event = eventCode;
    m->Buffer.assign(aucRxBuf.begin(), aucRxBuf.end());
    ChannelGenericQueue->Push(std::move(m));
    return true;
}

void TMainForm::tmrProcessANTMessageTimer() {
    CheckSetUpTime();
    if (!ChannelGenericQueue || ChannelGenericQueue->Count() == 0) {
        return;
    }
    const auto msg = ChannelGenericQueue->Pop();
    if (!msg) {
        return;
    }
    if (msg->MessageType == mtMainEvent) {
        ProcessMainEvent(*msg);
    } else {
        ProcessChannelEvent(*msg);
    }
}

// ------------------------------------------------------- start and close

void TMainForm::Btn_StartClick() {
    port_.SetActivity(true);
    if (txtDeviceNumber < 0) {
        port_.ShowMessage("No trainer Norvo ANT installed, firmware update noT possible!");
        return;
    }
    DeviceNumber = txtDeviceNumber;
    ucUSBDeviceNum = static_cast<std::uint8_t>(Spin_ChannelID);

    if (cmbTipoTrainer == "Mova") {
        RFChannel = 71;
        MessagePeriod = 31814;
        DeviceType = 19;
        aucNetAddr.fill(0);
    } else if (cmbTipoTrainer == "Duf") {
        RFChannel = 57;
        MessagePeriod = 16172;
        DeviceType = 121;
        aucNetAddr = kDefaultNetworkKey;
    } else if (cmbTipoTrainer == "Console") {
        RFChannel = 70;
        MessagePeriod = 8077;
        DeviceType = 18;
        aucNetAddr.fill(0);
    } else {
        port_.ShowMessage("Trainer not available. select it again");
        return;
    }

    // Without a queue the callbacks would have nowhere to put what the stick says.
    if (!ChannelGenericQueue) {
        port_.SetActivity(false);
        port_.ShowMessage(
            "The program could not prepare its message queue; the upgrade cannot start. "
            "Restart the program.");
        return;
    }

    if (antLibrary->ANT_Init(ucUSBDeviceNum, Baudrate, 0, 0) != ant::TRUE) {
        port_.ShowMessage("ANT USB Dongle Required!! Please plug it in .");
        WriteLog("ANT USB Dongle Required!! Please plug it.");
        port_.SetActivity(false);
        port_.CloseWindow();
        return;
    }
    libraryInitialised_ = true;

    antLibrary->ANT_AssignResponseFunction(
        [this](std::uint8_t ch, std::uint8_t id) { return ANTResponseCallback(ch, id); },
        PEventResponseBufferChar);
    antLibrary->ANT_AssignChannelEventFunction(
        0, [this](std::uint8_t ch, std::uint8_t ev) { return ANTChannelEventCallback(ch, ev); },
        aucRxBuf.data());

    antLibrary->setStickLostHandler([this] { port_.Post([this] { StickLost(); }); });
    startedAt_ = clock->now();

    port_.SetButtons(false, true);

    antLibrary->ANT_ResetSystem();
    Log("Cmd - Reset");
    clock->sleepFor(std::chrono::milliseconds(600));

    Reset();
    bOpenChannel = false;
    bFirstPackReceived = sprNever;

    antLibrary->ANT_SetNetworkKey(NetworkNumber, aucNetAddr.data());
    Log("Cmd - SetNetworkKey(" +
        Format("%d; [%.2x] [%.2x] [%.2x] [%.2x] [%.2x] [%.2x] [%.2x] [%.2x]", NetworkNumber,
               aucNetAddr[0], aucNetAddr[1], aucNetAddr[2], aucNetAddr[3], aucNetAddr[4],
               aucNetAddr[5], aucNetAddr[6], aucNetAddr[7]) +
        ")");
}

// The stick never answered the whole channel set-up (a lost or garbled
// response stops the chain of commands): say so instead of waiting for ever.
void TMainForm::CheckSetUpTime() {
    if (!libraryInitialised_ || closing_ || bOpenChannel || bFirstPackReceived != sprNever ||
        clock->now() - startedAt_ < kSetUpTimeLimit) {
        return;
    }
    port_.SetActivity(false);
    port_.ShowMessage(
        "The ANT USB stick did not finish opening the channel to the trainer. Check the "
        "stick, restart the software and try again.");
    port_.CloseWindow();
}

// The stick went away (unplugged, line failed). An upgrade that runs sees its
// own time-outs and ends in an error; before one runs nothing else would ever
// tell the user.
void TMainForm::StickLost() {
    Log("ANT USB stick lost");
    if (FFOTAThread || closing_) {
        return;
    }
    port_.SetActivity(false);
    port_.ShowMessage(
        "The ANT USB stick stopped answering (was it unplugged?). Plug it in, restart the "
        "software and try again.");
    port_.CloseWindow();
}

void TMainForm::Reset() {
    bFirstPackReceived = sprNever;
    bOpenChannel = false;
    if (MessagePeriod > 29789) {
        ucRxFailSearchCount = 4.0;
    } else {
        ucRxFailSearchCount = 65535.0 / MessagePeriod + 1;
    }
    usRxCount = 0;
    usNoConnection = 0.0;
    RxEventCounter = 0;
}

void TMainForm::CloseProcedure() {
    antLibrary->setStickLostHandler(nullptr);
    antLibrary->ANT_AssignResponseFunction(nullptr, PEventResponseBufferChar);
    Log("ANT_AssignResponseFunction @nil");
    antLibrary->ANT_AssignChannelEventFunction(0, nullptr, aucRxBuf.data());
    Log("ANT_AssignChannelEventFunction @nil");
    antLibrary->ANT_ResetSystem();
    Log("Cmd - ResetSystem");
    clock->sleepFor(std::chrono::milliseconds(2000));
    antLibrary->ANT_Close();
    Log("Cmd - Close");
    bOpenChannel = false;
    libraryInitialised_ = false;
}

void TMainForm::Btn_StopClick() {
    CloseProcedure();
    port_.SetButtons(true, false);
    port_.CloseWindow();
}

void TMainForm::FormClose() {
    if (closing_) {
        return;
    }
    closing_ = true;
    if (bOpenChannel || libraryInitialised_) {
        // Also while the channel is still being configured: no callback may
        // run into a window that is going away.
        Btn_StopClick();
    }
}

void TMainForm::FormDestroy() {
    if (bOpenChannel) {
        Btn_StopClick();
    }
    for (auto& w : workers_) {
        w->Terminate();
    }
    for (auto& w : workers_) {
        w->WaitFor();
    }
    AppendLogLine("FormDestroy " + LogTimeStamp());
}

// ------------------------------------------------------ response handling

void TMainForm::ProcessMainEvent(const TANTGenericMessage& msg) {
    if (msg.MessageType != mtMainEvent || msg.Event != ant::MESG_RESPONSE_EVENT_ID ||
        msg.Buffer.size() < 3) {
        return;
    }
    const int ch = msg.Channel;
    const int ch0 = msg.Buffer[0];
    const int id = msg.Buffer[1];
    const int code = msg.Buffer[2];
    const bool ok = code == ant::RESPONSE_NO_ERROR;
    using namespace ant;

    switch (id) {
        case MESG_NETWORK_KEY_ID:
            if (!ok) {
                Log(Format("Fail(0x%.2dX) - NetworkKey", code));
                return;
            }
            Log("Ack - SetNetworkKey");
            antLibrary->ANT_AssignChannel(0, ChannelType, NetworkNumber);
            Log("Cmd - AssignChannel(" +
                Format("%d; %d, %d", ucChannel, ChannelType, NetworkNumber) + ")");
            return;
        case MESG_ASSIGN_CHANNEL_ID:
            if (!ok) {
                Log(Format("Fail(0x%.2dX) - AssignChannel(%.2d)", code, ch0));
                return;
            }
            Log("Ack - AssignChannel(" + Format("%d; %d; %d", ch, ChannelType, NetworkNumber) +
                ")");
            if (ch == 0) {
                antLibrary->ANT_SetChannelId(0, static_cast<std::uint16_t>(DeviceNumber & 0xFFFF),
                                             DeviceType, TransmissionType);
            }
            Log("Cmd - SetChannelId(" +
                Format("%d; %d; %d; %d", ch, DeviceNumber, DeviceType, TransmissionType) + ")");
            return;
        case MESG_CHANNEL_ID_ID:
            if (!ok) {
                Log(Format("Fail(0x%.2X) - SetChannelID(%.2d)", code, ch0));
                return;
            }
            Log("Ack - SetChannelID");
            if (ch == 0) {
                antLibrary->ANT_SetChannelPeriod(0, MessagePeriod);
            }
            Log("Cmd - SetChannelPeriod(" + Format("%d; %d", ucChannel, MessagePeriod) + ")");
            return;
        case MESG_CHANNEL_MESG_PERIOD_ID:
            if (!ok) {
                Log(Format("Fail(0x%.2dX) - SetChannelPeriod(%.2d)", code, ch0));
                return;
            }
            Log("Ack - SetChannelPeriod");
            if (ch == 0) {
                antLibrary->ANT_SetChannelSearchTimeout(0, 15);
            }
            Log("Cmd - SetChannelSearchTimeout(" + Format("%d: %d", ucChannel, 15) + ")");
            return;
        case MESG_CHANNEL_SEARCH_TIMEOUT_ID:
            if (!ok) {
                Log(Format("Fail(0x%.2X) - SetChannelSearchTimeout(%.2d)", code, ch0));
                return;
            }
            Log("Ack - SetChannelSearchTimeout");
            if (ch == 0) {
                antLibrary->ANT_SetChannelRFFreq(ucChannel, RFChannel);
            }
            Log("Cmd - SetChannelRFFreq(" + Format("%d; %d", ucChannel, RFChannel) + ")");
            return;
        case MESG_CHANNEL_RADIO_FREQ_ID:
            if (!ok) {
                Log(Format("Fail(0x%.2dX) - SetRFFreq(%.2d)", code, ch0));
                return;
            }
            Log("Ack - SetRFFreq");
            bOpenChannel = false;
            if (ch == 0) {
                antLibrary->ANT_OpenChannel(0);
            }
            Log("Cmd - OpenChannel");
            return;
        case MESG_OPEN_CHANNEL_ID:
            if (!ok) {
                Log(Format("Fail(0x%.2x) - Open(%.2d). Ch: %d", code, ch0, ucChannel));
                return;
            }
            Log("Ack - Open. Ch: " + std::to_string(ucChannel));
            bOpenChannel = true;
            return;
        case MESG_CLOSE_CHANNEL_ID:
            if (!ok) {
                Log(Format("Fail(0x%.2x) - Close(%.2d)", code, ch0));
                return;
            }
            Log("Ack - Close");
            bOpenChannel = false;
            return;
        case MESG_UNASSIGN_CHANNEL_ID:
            if (!ok) {
                Log(Format("Fail((0x%dX)) - UnassignChannel(%d)", code, ch0));
                return;
            }
            Log("Ack - UnassignChannel");
            return;
        default:
            if (!ok) {
                Log(Format("Fail(0x%.2X) - MesgID:(0x%.2X) - Channel:(%.2d)", code, id, ch0));
                return;
            }
            Log(Format("Ack - MesgID:(0x%.2X) - Channel:(%.2d)", id, ch0));
            return;
    }
}

// ------------------------------------------------- channel event handling

void TMainForm::ProcessChannelEvent(const TANTGenericMessage& msg) {
    // The first channel event after a start begins the upgrade.
    if (bFirstPackReceived == sprNever) {
        bFirstPackReceived = sprFirst;
        Button7Click();
    } else if (bFirstPackReceived == sprFirst) {
        bFirstPackReceived = sprReceiving;
    }
    if (!bOpenChannel || msg.MessageType != mtChannelEvent) {
        return;
    }

    // Page byte k is Buffer byte k + 1; a short buffer reads as zeros.
    Page page{};
    for (std::size_t k = 0; k < page.size() && k + 1 < msg.Buffer.size(); ++k) {
        page[k] = msg.Buffer[k + 1];
    }
    auto recvLine = [&](const char* tail) {
        return Format(
            "Recv(%d): [%.2X][%.2X][%.2X][%.2X][%.2X][%.2X][%.2X][%.2X] RF Freq:%d "
            "RxCount:%lld%s",
            msg.Channel, page[0], page[1], page[2], page[3], page[4], page[5], page[6], page[7],
            RFChannel, static_cast<long long>(RxEventCounter), tail);
    };
    TFOTAThread* worker = FFOTAThread;

    switch (msg.Event) {
        case ant::EVENT_RX_SEARCH_TIMEOUT:
            ConnectionLost();
            return;
        case ant::EVENT_RX_FAIL:
            Log(Format("Rx Fail RF Freq:%d NoConnectCount:%.2f.0", RFChannel, usNoConnection));
            Log("msg: EVENT_RX_FAIL");
            usNoConnection += 1;
            return;
        case ant::EVENT_TX:
            Log("msg: EVENT_TX");
            return;
        case ant::EVENT_TRANSFER_TX_COMPLETED:
            if (2 * ucRxFailSearchCount > usRxCount) {
                ++usRxCount;
            }
            usNoConnection = 0.0;
            Log("msg: EVENT_TRANSFER_TX_COMPLETED");
            wait_msg_tx = true;
            return;
        case ant::EVENT_TRANSFER_TX_FAILED:
            wait_msg_tx_fail = true;
            Log(Format("Ack Fail RF Freq:%d RxCount:%d NoConnectCount:%.0f", RFChannel, usRxCount,
                       usNoConnection));
            Log("msg: EVENT_TRANSFER_TX_FAILED");
            return;
        case ant::EVENT_RX_FAIL_GO_TO_SEARCH:
            usNoConnection = 0.0;
            if (usRxCount != 0) {
                usRxCount = 0;
                Log("msg: EVENT_RX_FAIL_GO_TO_SEARCH");
            }
            Log("Drop to Search");
            return;
        case ant::EVENT_CHANNEL_COLLISION:
            return;
        case ant::EVENT_RX_ACKNOWLEDGED:
            if (const auto v = VersionReply::decode(page)) {
                Log("Firmware version: " + std::to_string(v->version));
                if (worker) {
                    worker->SetFirmwareVersion(v->version);
                    worker->SetFirmwareSubVersion(v->subVersion);
                    if (v->subVersion != 0) {
                        worker->SetUnitType(v->unitType);
                    }
                }
                wait_ack_fw_ver = true;
            }
            if (const auto r = ReadReply::decode(page)) {
                if (!wait_ack_unit_type) {
                    Log("Unit type : " + std::to_string(r->value));
                    if (worker) {
                        worker->SetUnitType(r->value);
                    }
                    wait_ack_unit_type = true;
                }
                if (!wait_ack_zero_pos) {
                    Log("Zero Position : " + std::to_string(r->value));
                    if (worker) {
                        worker->SetZeroPositionValue(r->value);
                    }
                    wait_ack_zero_pos = true;
                }
            }
            if (const auto a = CommandAck::decode(page); a && a->command == page::kWrite) {
                wait_ack_rd_eprom = false;
                Log("ACK write eprom received!");
            }
            ++RxEventCounter;
            if (usRxCount == 0) {
                usRxCount = 1;
            }
            usNoConnection = 0.0;
            Log(recvLine(""));
            Log("msg: EVENT_RX_ACKNOWLEDGED");
            if (BlockAck::decode(page)) {
                wait_ack = false;  // whatever address it carries
            }
            return;
        case ant::EVENT_RX_BROADCAST:
            if (worker && worker->WaitingForBoot()) {
                worker->SetWaitingForBoot(false);
            }
            if (const auto v = VersionReply::decode(page)) {
                // The unit type is never taken from a broadcast.
                Log("Firmware version: " + std::to_string(v->version));
                if (worker) {
                    worker->SetFirmwareVersion(v->version);
                    worker->SetFirmwareSubVersion(v->subVersion);
                }
                wait_ack_fw_ver = true;
            }
            ++RxEventCounter;
            usNoConnection = 0.0;
            Log(recvLine(" EVENT_RX_BROADCAST"));
            return;
        default:
            Log(Format("msg(%d): [%.2X][%.2X][%.2X][%.2X][%.2X][%.2X][%.2X][%.2X] RF Freq:%d",
                       msg.Channel, aucTxBuf[0], aucTxBuf[1], aucTxBuf[2], aucTxBuf[3], aucTxBuf[4],
                       aucTxBuf[5], aucTxBuf[6], aucTxBuf[7], RFChannel));
            return;
    }
}

void TMainForm::ConnectionLost() {
    if (TFOTAThread* worker = FFOTAThread) {
        if (worker->WaitingForBoot()) {
            antLibrary->ANT_OpenChannel(0);  // the trainer is restarting after programming
        } else {
            worker->Terminate();  // stops at once, leaves its state lock free
        }
    }
    port_.SetActivity(false);
    port_.ShowMessage("Connection Lost,restart the software and try to run it again.");
    port_.TerminateProgram(0);
}

// --------------------------------------------------------------- upgrade

void TMainForm::Button7Click() {
    workers_.push_back(std::make_unique<TFOTAThread>(*this));
    FFOTAThread = workers_.back().get();
    FFOTAThread->OnFotaEvent = [this](void* sender) { FOTAEventProcedure(sender); };
    FFOTAThread->OnFOTAProgress = [this](TFOTAThread* sender, std::int32_t max, std::int32_t min) {
        ProgressFOTAProgramming(sender, max, min);
    };
    FFOTAThread->OnBeforeProgramming = BeforeProgramming;
    FFOTAThread->Start();
    SetStatePoll(true);
}

void TMainForm::SetStatePoll(bool on) {
    statePoll_ = on;
    port_.SetStatePoll(on);
}

std::string TMainForm::StatusText(TProgrammingStateFota s) {
    switch (s) {
        case psfBeforeStart:
            return "....";
        case psfStart:
            return "Start Programming!";
        case psfProgrammingBoot:
            return "Step 1 of 2: Programming Bootloader...";
        case psfProgrammingFirmware:
            return "Step 2 of 2: Programming Firmware....";
        case psfEnd:
            return "Finish Correctly Programming!";
        case psfError:
            return "Generic Error. Try Again!";
        case psfAlreadyUpdated:
            return "The system is already updated, no action required! Close the software.";
        case psfErrorFirmwareImage:
            return "No firmaware image available";
        case psfFinishOK:
            return "Update finish correctly! Pay attention: Intall the Mova software for FEC "
                   "trainer.";
        case psfWaitignConnection:
            return "Waiting for Connection";
        case psfUpgradeNotPossible:
            return "Upgrade not possible!";
        case psfZeroPositionError:
            return std::string("SetZeroPosition Failed,contact ") + maker::kSupportEmail + " !!!";
        case psf64MicroBlock:
            return "Firmware not available for 64K micro.";
        case psfNoNewFirmwareFound:
            return "Starting firmware version is not found, please contact norvo. "
                   "[psfNoNewFirmwareFound]";
    }
    return "....";
}

void TMainForm::FOTAEventProcedure(void*) {
    TFOTAThread* worker = FFOTAThread;
    if (!worker) {
        return;
    }
    // Whether the worker has ended is read before its state: a worker that
    // ends between the two reads has by then written its last state, so a
    // step in progress read after "ended" is a step it never finished. The
    // one state read serves the whole tick; a newer one is shown by the next.
    const bool ended = worker->Finished();
    const TProgrammingStateFota state = worker->GetState();
    std::string text = StatusText(state);
    // A worker that has ended while its state still reads as a step in
    // progress has failed (its event log says where): the window says so
    // instead of showing the step for ever.
    const bool inProgress =
        state == psfStart || state == psfProgrammingBoot || state == psfProgrammingFirmware;
    if (inProgress && ended && !worker->StoppedBeforeProgramming()) {
        text = StatusText(psfError);
        port_.SetStatusText(text);
        SetStatePoll(false);
        port_.SetActivity(false);
        return;
    }
    if (state == psfFinishOK) {
        port_.SetStatusText(text);
        SetStatePoll(false);
        port_.ShowMessage("Firmware Upgraded Successfully!");
        port_.ShowDownloadDialog(worker->UnitType());
        port_.CloseWindow();
    }
    port_.SetStatusText(text);
    switch (state) {
        case psfEnd:
        case psfError:
        case psfAlreadyUpdated:
        case psfErrorFirmwareImage:
        case psfFinishOK:
        case psfUpgradeNotPossible:
        case psfZeroPositionError:
            SetStatePoll(false);
            port_.SetActivity(false);
            break;
        default:
            break;
    }
}

void TMainForm::ProgressFOTAProgramming(void*, std::int32_t max, std::int32_t val) {
    // Called on the worker's thread: the bar is set on the UI thread.
    port_.Post([this, max, val] {
        if (progressMax_ != max) {
            progressMax_ = max;
        }
        port_.SetProgress(progressMax_, val);
    });
}

}  // namespace fota
