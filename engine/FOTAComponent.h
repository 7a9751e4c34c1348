#pragma once
// The upgrade worker: one thread that runs one firmware upgrade of the trainer
// from the first query to a final state, the upgrade states, and the events
// it reports.
//
// The worker never sees the trainer's pages itself: the channel event handler
// (UI thread) stores what the trainer reported in the worker's fields and
// announces it through the link flags, value first and flag second. The
// worker sends pages through the ANT library and polls the flags between
// pauses of the time base. A stop request ends any pause at once and the
// worker then does nothing more.

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "image/UFirmware.h"
#include "platform/Clock.h"

namespace fota {

namespace ant {
class AntLibrary;
}

enum TProgrammingStateFota : std::uint8_t {
    psfBeforeStart = 0,
    psfStart = 1,
    psfProgrammingBoot = 2,
    psfProgrammingFirmware = 3,
    psfEnd = 4,
    psfError = 5,
    psfAlreadyUpdated = 6,
    psfErrorFirmwareImage = 7,
    psfFinishOK = 8,
    psfWaitignConnection = 9,
    psfUpgradeNotPossible = 10,
    psfZeroPositionError = 11,
    psf64MicroBlock = 12,
    psfNoNewFirmwareFound = 13,
};

const char* StateName(TProgrammingStateFota s);

// A link flag: a Boolean that the channel event handler and the worker share.
// Every store tells the time base, so a worker whose poll waits on the flag
// goes on at the moment it changes instead of at the end of the poll. Values
// it announces are stored before it (sequentially consistent stores).
class LinkFlag {
public:
    // clock: the link's time base pointer, read at every store (it may be set later).
    explicit LinkFlag(Clock* const& clock) : clock_(clock) {}
    LinkFlag(const LinkFlag&) = delete;
    LinkFlag& operator=(const LinkFlag&) = delete;

    LinkFlag& operator=(bool v) {
        value_.store(v);
        if (clock_ != nullptr) {
            clock_->notify();
        }
        return *this;
    }
    bool load() const { return value_.load(); }
    operator bool() const { return value_.load(); }

private:
    std::atomic<bool> value_{false};
    Clock* const& clock_;
};

// The part of the main window the worker reaches through FMainForm: the link
// flags (written by the channel event handler and the worker), the ANT
// library and the time base.
struct TFOTALink {
    ant::AntLibrary* antLibrary = nullptr;
    Clock* clock = nullptr;

    LinkFlag wait_ack{clock};
    LinkFlag wait_msg_tx{clock};
    LinkFlag wait_msg_tx_fail{clock};
    LinkFlag wait_ack_fw_ver{clock};
    LinkFlag wait_ack_unit_type{clock};
    LinkFlag wait_ack_zero_pos{clock};
    LinkFlag wait_ack_rd_eprom{clock};

    // The waits of the first version, kept for the benchmarks' comparison: a
    // poll then always runs to its limit before it looks at its flag.
    bool pollOnGrid = false;
};

class TFOTAThread;

using TOnFOTAProgress =
    std::function<void(TFOTAThread* Sender, std::int32_t Max, std::int32_t Min)>;
using TNotifyEvent = std::function<void(void* Sender)>;
using TBooleanEvent = void (*)(bool val);

class TFOTAThread {
public:
    // Create: the worker, not yet running.
    explicit TFOTAThread(TFOTALink& AForm);
    // Destroy: waits until the body has ended.
    virtual ~TFOTAThread();
    TFOTAThread(const TFOTAThread&) = delete;
    TFOTAThread& operator=(const TFOTAThread&) = delete;

    void Start();
    // The stop request: ends the current pause at once; the worker stops.
    void Terminate();
    bool Terminated() const;
    // True once the body has ended (its last state is written by then).
    // Virtual, with GetState, so that a test can end a worker between reads.
    virtual bool Finished() const;
    // Waits for the body to end (through the time base).
    void WaitFor();

    virtual TProgrammingStateFota GetState() const;
    void SetState(TProgrammingStateFota s);

    // Error flag, event log line, stop request. The state is left as it is.
    void AbortUpgrade(const std::string& message);

    // Transactions, on the worker thread.
    std::int32_t RequestUnitType();
    bool RequestFirmwareVersion();
    std::int32_t SetZeroPosition();
    bool EnterFOTAMode();
    bool ExitFOTAMode();
    bool SendBurst(std::uint8_t count, const TPacketArray& packets);
    bool RequestAck(std::uint8_t addressHigh, std::uint8_t addressLow);

    // Chooses the image for the reported version, sub-version and unit type:
    // true with the name in FFirmwareName, or false when the upgrade ends.
    bool SelectFirmware();

    // Called with the chosen image right before programming mode is entered;
    // false ends the upgrade there, the trainer untouched (a dry run).
    using TBeforeProgramming = std::function<bool(TFOTAThread& Sender, const std::string& imageName,
                                                  const TFirmware& image)>;
    TBeforeProgramming OnBeforeProgramming;
    // Where the body gets the chosen image (appending to a new TFirmware):
    // the embedded image store unless set. False: no such image.
    std::function<bool(const std::string& name, TFirmware& image)> LoadImage;
    // True when OnBeforeProgramming ended the upgrade.
    bool StoppedBeforeProgramming() const { return FStoppedBeforeProgramming; }

    // Properties.
    TBooleanEvent OnEnterFOTAState = nullptr;
    TNotifyEvent OnFotaEvent;
    TOnFOTAProgress OnFOTAProgress;

    std::int32_t FirmwareVersion() const { return FFrimwareVersion; }
    void SetFirmwareVersion(std::int32_t v) { FFrimwareVersion = v; }
    std::int32_t FirmwareSubVersion() const { return FFirmwareSubVersion; }
    void SetFirmwareSubVersion(std::int32_t v) { FFirmwareSubVersion = v; }
    bool FotaNoError() const { return FFOTAError; }  // true when the upgrade has failed
    std::uint8_t UnitType() const { return FUnitType; }
    void SetUnitType(std::uint8_t v) { FUnitType = v; }
    std::uint8_t ZeroPosition() const { return FZeroPosition; }
    void SetZeroPositionValue(std::uint8_t v) { FZeroPosition = v; }
    std::string FirmwareName() const;
    bool WaitingForBoot() const { return FWaitingForBoot; }
    void SetWaitingForBoot(bool v) { FWaitingForBoot = v; }
    const std::array<std::uint8_t, 520>& Burst() const { return Fburst; }

protected:
    // The body: one upgrade, on the worker's thread.
    virtual void Execute();

private:
    // Pauses on the time base; a stop request ends the body (throws Stopped).
    void Pause(std::int64_t ms);
    // One poll of a wait: ends when done() holds (the flags it tests changed)
    // or after ms; a stop request ends the body.
    void Poll(std::int64_t ms, const std::function<bool()>& done);
    void SendAcknowledged(const std::array<std::uint8_t, 8>& page);
    bool ProgramModeTransaction(const std::array<std::uint8_t, 8>& page, const char* sendLine);
    void Run();

    TFOTALink* FMainForm;
    std::unique_ptr<TFirmware> Ffrm;
    std::atomic<std::int32_t> FFrimwareVersion{-1};
    std::atomic<bool> FFOTAError{false};
    std::array<std::uint8_t, 520> Fburst{};
    std::atomic<std::uint8_t> FUnitType{0};
    std::string FFirmwareName;
    mutable std::mutex FNameLock;  // FFirmwareName may be read from the UI thread
    std::atomic<std::int32_t> FFirmwareSubVersion{-1};
    std::atomic<bool> FWaitingForBoot{false};
    TProgrammingStateFota FState = psfBeforeStart;
    mutable std::mutex FCS;  // guards FState only
    std::atomic<std::uint8_t> FZeroPosition{0};

    std::atomic<bool> FStoppedBeforeProgramming{false};
    std::stop_source FStop;
    std::unique_ptr<ClockThread> FThread;

    friend class TFOTAThreadTest;
};

}  // namespace fota
