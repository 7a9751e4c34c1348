#include "engine/FOTAComponent.h"

#include <algorithm>
#include <exception>
#include <string>

#include "antlink/ANTCommands.h"
#include "image/ImageStore.h"
#include "log/EventLog.h"
#include "platform/MakerInfo.h"
#include "protocol/FotaPages.h"

namespace fota {

namespace {

// Thrown by a pause that a stop request ended: the body unwinds at once,
// without another line or page.
struct Stopped {};

constexpr std::uint8_t kChannel = 0;

}  // namespace

const char* StateName(TProgrammingStateFota s) {
    static const char* const names[] = {"psfBeforeStart",
                                        "psfStart",
                                        "psfProgrammingBoot",
                                        "psfProgrammingFirmware",
                                        "psfEnd",
                                        "psfError",
                                        "psfAlreadyUpdated",
                                        "psfErrorFirmwareImage",
                                        "psfFinishOK",
                                        "psfWaitignConnection",
                                        "psfUpgradeNotPossible",
                                        "psfZeroPositionError",
                                        "psf64MicroBlock",
                                        "psfNoNewFirmwareFound"};
    return s < std::size(names) ? names[s] : "unknown";
}

TFOTAThread::TFOTAThread(TFOTALink& AForm) : FMainForm(&AForm) {
    SetState(psfBeforeStart);
}

TFOTAThread::~TFOTAThread() {
    WaitFor();
}

void TFOTAThread::Start() {
    if (FThread) {
        return;
    }
    FThread = std::make_unique<ClockThread>(*FMainForm->clock, "FotaProgrammingThread",
                                            [this](std::stop_token) { Run(); });
}

void TFOTAThread::Run() {
    if (FStop.stop_requested()) {
        return;  // stopped before it ever ran
    }
    try {
        Execute();
    } catch (const Stopped&) {
        // stopped from outside, or after an abort: nothing more to do
    } catch (const std::exception&) {
        // any other failure ends the body at once, the state left as it is
    }
}

void TFOTAThread::Terminate() {
    FStop.request_stop();
    FMainForm->clock->notify();
}

bool TFOTAThread::Terminated() const {
    return FStop.stop_requested();
}

bool TFOTAThread::Finished() const {
    return FThread && FThread->finished();  // a worker never started has not ended
}

void TFOTAThread::WaitFor() {
    if (FThread) {
        FThread->join();
    }
}

TProgrammingStateFota TFOTAThread::GetState() const {
    std::lock_guard lock(FCS);
    return FState;
}

void TFOTAThread::SetState(TProgrammingStateFota s) {
    std::lock_guard lock(FCS);
    FState = s;
}

std::string TFOTAThread::FirmwareName() const {
    std::lock_guard lock(FNameLock);
    return FFirmwareName;
}

void TFOTAThread::AbortUpgrade(const std::string& message) {
    FFOTAError = true;
    WriteLog(message);
    FStop.request_stop();
}

void TFOTAThread::Pause(std::int64_t ms) {
    if (FMainForm->clock->sleepFor(std::chrono::milliseconds(ms), FStop.get_token()) ==
        WaitResult::Stopped) {
        throw Stopped{};
    }
}

void TFOTAThread::Poll(std::int64_t ms, const std::function<bool()>& done) {
    Clock& clock = *FMainForm->clock;
    const auto limit = std::chrono::milliseconds(ms);
    const WaitResult r = FMainForm->pollOnGrid ? clock.sleepFor(limit, FStop.get_token())
                                               : clock.waitFor(limit, done, FStop.get_token());
    if (r == WaitResult::Stopped || FStop.stop_requested()) {
        throw Stopped{};
    }
}

void TFOTAThread::SendAcknowledged(const std::array<std::uint8_t, 8>& page) {
    if (FStop.stop_requested()) {
        throw Stopped{};
    }
    FMainForm->antLibrary->ANT_SendAcknowledgedData(kChannel, page.data());
}

// ------------------------------------------------------------ transactions

std::int32_t TFOTAThread::RequestUnitType() {
    TFOTALink& L = *FMainForm;
    std::int32_t result = 0;
    for (int attempt = 0; attempt < 4; ++attempt) {
        SendAcknowledged(UnitTypeRequest{}.encode());
        WriteLog("Request Unit Type (send) ");
        L.wait_msg_tx_fail = false;
        L.wait_ack_unit_type = false;
        L.wait_ack_zero_pos = true;
        Pause(2000);
        for (int poll = 0; poll < 7; ++poll) {
            Poll(500, [&] { return L.wait_ack_unit_type || L.wait_msg_tx_fail; });
            if (L.wait_ack_unit_type) {
                WriteLog("Unit Type received :  " + std::to_string(FUnitType));
                result = FUnitType;
                break;
            }
            if (L.wait_msg_tx_fail) {
                WriteLog("ERROR RETRIVING UNIT TYPE");
                result = 0;
                break;
            }
        }
        if (result > 0) {
            return result;
        }
    }
    return result;
}

bool TFOTAThread::RequestFirmwareVersion() {
    TFOTALink& L = *FMainForm;
    for (int attempt = 0; attempt < 4; ++attempt) {
        SendAcknowledged(VersionRequest{}.encode());
        WriteLog("Request Firmware Version (send) ");
        L.wait_msg_tx_fail = false;
        L.wait_ack_fw_ver = false;
        Pause(2000);
        for (int poll = 0; poll < 7; ++poll) {
            Poll(500, [&] { return L.wait_ack_fw_ver || L.wait_msg_tx_fail; });
            if (L.wait_ack_fw_ver) {
                WriteLog("Firmware version received " + std::to_string(FFrimwareVersion));
                return true;
            }
            if (L.wait_msg_tx_fail) {
                WriteLog("Firmware Request Failed (EventRxFailed)");
                break;
            }
        }
    }
    return false;
}

std::int32_t TFOTAThread::SetZeroPosition() {
    TFOTALink& L = *FMainForm;
    std::int32_t result = 255;
    for (int attempt = 0; attempt < 4 && result == 255; ++attempt) {
        SendAcknowledged(ZeroPositionReadRequest{}.encode());
        WriteLog("Request Zero Position (send) ");
        L.wait_msg_tx_fail = false;
        L.wait_ack_unit_type = true;
        L.wait_ack_zero_pos = false;
        Pause(2000);
        for (int poll = 0; poll < 7; ++poll) {
            Poll(500, [&] { return L.wait_ack_zero_pos || L.wait_msg_tx_fail; });
            if (L.wait_ack_zero_pos) {
                WriteLog("Zero Position :  " + std::to_string(FZeroPosition));
                result = FZeroPosition;
                break;
            }
            if (L.wait_msg_tx_fail) {
                // The trainer did not take the read: ask again. Taking this as a
                // value (0) would skip the correction and still end in success.
                WriteLog("ERROR RETRIVING ZERO POSITION");
                break;
            }
        }
    }
    if (result != 10 && result != 3) {
        WriteLog("Zero Position Upgrade not required!");
        return result;
    }

    FZeroPosition = static_cast<std::uint8_t>(result * 2);
    result = 255;
    const auto page = ZeroPositionWriteRequest{FZeroPosition}.encode();
    for (int attempt = 0; attempt < 4; ++attempt) {
        SendAcknowledged(page);
        WriteLog("Request Write Zero Position (send) [" + std::to_string(FZeroPosition) + "]");
        L.wait_msg_tx_fail = false;
        L.wait_ack_rd_eprom = true;
        Pause(2000);
        for (int poll = 0; poll < 7; ++poll) {
            Poll(1000, [&] { return !L.wait_ack_rd_eprom || L.wait_msg_tx_fail; });
            if (!L.wait_ack_rd_eprom) {
                result = FZeroPosition;
                WriteLog("Zero Position writed :  " + std::to_string(FZeroPosition));
                break;
            }
            if (L.wait_msg_tx_fail) {
                WriteLog("ERROR RETRIVING ZERO POSITION");
                result = 255;
                break;
            }
        }
        if (!L.wait_ack_rd_eprom) {
            break;
        }
    }
    return result;
}

// Program mode start and exit: the page's transmit result decides. Only a
// page the trainer acknowledged counts; a failed transmission means the
// trainer did not take it (it would stay out of programming mode, or in it),
// so the page goes again, up to three sends in all. A completed transmission
// counts in whichever attempt it is seen: the trainer has then taken the page
// (every attempt sends the same page), also when the completion belongs to an
// earlier send that had seemed lost.
bool TFOTAThread::ProgramModeTransaction(const std::array<std::uint8_t, 8>& page,
                                         const char* sendLine) {
    TFOTALink& L = *FMainForm;
    L.wait_msg_tx_fail = false;
    L.wait_msg_tx = false;
    for (int attempt = 0; attempt < 3; ++attempt) {
        SendAcknowledged(page);
        WriteLog(sendLine);
        for (int poll = 0; poll < 7; ++poll) {
            Poll(500, [&] { return L.wait_msg_tx || L.wait_msg_tx_fail; });
            if (L.wait_msg_tx) {
                return true;
            }
            if (L.wait_msg_tx_fail) {
                L.wait_msg_tx_fail = false;
                break;  // not taken: send it again
            }
        }
    }
    return false;
}

bool TFOTAThread::EnterFOTAMode() {
    const auto size = static_cast<std::uint32_t>(Ffrm ? Ffrm->totalByte() : 0);
    if (ProgramModeTransaction(ProgramModeStart{size}.encode(),
                               "ANT_SendAcknowledgedData Start Program Mode (FOTA)")) {
        if (OnEnterFOTAState) {
            OnEnterFOTAState(true);
        }
        WriteLog("FOTA mode activated");
        return true;
    }
    WriteLog("FOTA mode failed");
    if (OnEnterFOTAState) {
        OnEnterFOTAState(false);
    }
    FStop.request_stop();
    return false;
}

bool TFOTAThread::ExitFOTAMode() {
    if (ProgramModeTransaction(ProgramModeExit{}.encode(),
                               "ANT_SendAcknowledgedData Exit Program Mode (FOTA)")) {
        if (OnEnterFOTAState) {
            OnEnterFOTAState(true);
        }
        WriteLog("Correct Exit FOTA mode!");
        return true;
    }
    if (OnEnterFOTAState) {
        OnEnterFOTAState(false);
    }
    AbortUpgrade("Exit FOTA mode failed");
    FFOTAError = true;
    return false;
}

bool TFOTAThread::SendBurst(std::uint8_t count, const TPacketArray& packets) {
    TFOTALink& L = *FMainForm;
    // The buffer holds one whole group; a group never has more than 65 packets.
    const std::size_t n = std::min<std::size_t>({count, packets.size(), Fburst.size() / 8});
    for (std::size_t p = 0; p < n; ++p) {
        std::copy(packets[p].bytes.begin(), packets[p].bytes.end(), Fburst.begin() + 8 * p);
    }
    const auto burstPackets = static_cast<std::uint16_t>(n);
    const std::int32_t index = Ffrm ? Ffrm->index : 0;
    const auto blocks = static_cast<std::int32_t>(Ffrm ? Ffrm->buff.size() : 0);
    for (int t = 0; t < 4; ++t) {
        if (FStop.stop_requested()) {
            throw Stopped{};
        }
        FMainForm->antLibrary->ANT_SendBurstTransfer(kChannel, Fburst.data(), burstPackets);
        WriteLog("ANT_SendBurstTransfer (Try " + std::to_string(t) + ") of pck n°" +
                 std::to_string(index));
        if (OnFOTAProgress) {
            OnFOTAProgress(this, blocks, index);
        }
        L.wait_msg_tx_fail = false;
        L.wait_msg_tx = false;
        for (int poll = 0; poll < 7; ++poll) {
            Poll(500, [&] { return L.wait_msg_tx_fail || L.wait_msg_tx; });
            if (L.wait_msg_tx_fail) {
                break;
            }
            if (L.wait_msg_tx) {
                WriteLog("Burst Event Tx confirmed");
                return true;
            }
        }
    }
    return false;
}

bool TFOTAThread::RequestAck(std::uint8_t addressHigh, std::uint8_t addressLow) {
    TFOTALink& L = *FMainForm;
    const auto page =
        BlockAckRequest{static_cast<std::uint16_t>((addressHigh << 8) | addressLow)}.encode();
    const std::string index = std::to_string(Ffrm ? Ffrm->index : 0);
    for (int attempt = 0; attempt < 4; ++attempt) {
        SendAcknowledged(page);
        WriteLog("ANT_SendAcknowledgedData Request for ack pck n° " + index);
        L.wait_msg_tx = false;
        L.wait_msg_tx_fail = false;
        for (int poll = 0; poll < 7; ++poll) {
            Poll(500, [&] { return L.wait_msg_tx || L.wait_msg_tx_fail; });
            if (L.wait_msg_tx || L.wait_msg_tx_fail) {
                break;
            }
        }
        if (L.wait_msg_tx_fail) {
            WriteLog("ANT_SendAcknowledgedData EVENT_RX_FAIL,try again pck n° " + index);
            continue;
        }
        L.wait_ack = true;
        for (int poll = 0; poll < 7; ++poll) {
            Poll(500, [&] { return !L.wait_ack; });
            if (!L.wait_ack) {
                break;
            }
        }
        if (!L.wait_ack) {
            return true;
        }
        WriteLog("NACK for pck n° " + index + " try again.");
    }
    return false;
}

// ------------------------------------------------------------------- body

void TFOTAThread::Execute() {
    FFOTAError = false;
    FUnitType = 0;
    SetState(psfStart);

    for (;;) {  // one pass per image
        const std::uint8_t unitType = FUnitType;
        if (unitType == 255) {
            AbortUpgrade("Bootloader not update correctly !! Unit type = 255 ");
            return;
        }
        if (unitType != 0) {
            WriteLog("Bootloader updated!! ");
        }
        if (FUnitType == 0 && !RequestFirmwareVersion()) {
            AbortUpgrade("Error in FW version reading.");
            SetState(psfError);
            return;
        }
        if (FUnitType == 0 && RequestUnitType() == 0) {
            AbortUpgrade("Error in Unit Type reading.");
            return;
        }

        if (!SelectFirmware()) {
            return;
        }

        Ffrm = std::make_unique<TFirmware>();
        const std::string name = FirmwareName();
        const bool loaded = LoadImage ? LoadImage(name, *Ffrm) : ImageStore::load(name, *Ffrm);
        if (!loaded) {
            return;  // a name the store does not hold
        }
        if (Ffrm->buff.empty()) {
            WriteLog("Errore unexpeted [loading resource]");
            return;
        }
        WriteLog("Firware Selected -> " + name);
        {
            std::lock_guard lock(FNameLock);
            FFirmwareName.clear();
        }

        // A demo image is made for the simulated trainer: a real one never gets it.
        if (ImageStore::isDemoImage(name) && !FMainForm->antLibrary->isSimulated()) {
            WriteLog("Refused to program " + name +
                     ": it is a demo image, made for the simulated trainer only. Build the "
                     "program with the trainer maker's images to upgrade a real trainer.");
            SetState(psfErrorFirmwareImage);
            FFOTAError = true;
            return;
        }
        if (OnBeforeProgramming && !OnBeforeProgramming(*this, name, *Ffrm)) {
            FStoppedBeforeProgramming = true;
            return;
        }

        if (!EnterFOTAMode()) {
            AbortUpgrade("Fota failed : Teminated");
            return;
        }

        WriteLog("Start Transmission");
        Ffrm->first();
        TPacketArray packets;
        std::int32_t n = Ffrm->extractHex(8, packets);
        do {
            if (!SendBurst(static_cast<std::uint8_t>(n), packets)) {
                AbortUpgrade("Error in burst sending pack.<Abort>");
                break;
            }
            RequestAck(Fburst[3], Fburst[4]);  // acknowledged or not, the block is not sent again
            n = Ffrm->extractHex(8, packets);
        } while (n != 0);

        if (FFOTAError) {
            SetState(psfError);
            return;
        }
        WriteLog("Trasmission End");
        Ffrm.reset();

        if (!ExitFOTAMode()) {
            AbortUpgrade("Exit Fota failed : Teminated");
            return;
        }

        // Boot wait: the channel event handler clears the flag on the first
        // broadcast page after the restart.
        Pause(3000);
        FWaitingForBoot = true;
        for (int i = 0; i < 41 && FWaitingForBoot; ++i) {
            Pause(700);
            WriteLog("WaitingForBoot....");
        }

        if (!RequestFirmwareVersion()) {
            AbortUpgrade("Exit Fota failed : Teminated");
            SetState(psfError);
            return;
        }
        const std::int32_t V = FFrimwareVersion;
        if (V == 1) {
            WriteLog("Bootloader programmed,going to send firmware. UnitType: " +
                     std::to_string(FUnitType));
            continue;
        }
        if (V <= 113) {
            WriteLog("Firmware too low, repeat the bootloader upgrade.(FirstPhase)");
            FUnitType = 0;
            continue;
        }
        if (V >= 118 && (FUnitType == 17 || FUnitType == 13)) {
            if (SetZeroPosition() == 255) {
                WriteLog(std::string("SetZeroPosition Failed !!! contact ") + maker::kSupportEmail +
                         " !!!");
                SetState(psfZeroPositionError);
                FFOTAError = true;
                return;
            }
            WriteLog("SetZeroPosition writed !");
        }
        SetState(psfFinishOK);
        WriteLog("Programmation terminate with -> OK");
        return;
    }
}

}  // namespace fota
