#pragma once
// The main window's logic, free of any toolkit: the channel parameters and
// link state, the start and close sequences, the response and channel event
// handlers, the pump, the upgrade start and the state poll. A front end draws
// it through a WindowPort and calls its handlers from its UI thread: the pump
// every 300 ms from creation, the state poll every 1000 ms while enabled.

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "antlink/AntTypes.h"
#include "antlink/MessageQueue.h"
#include "engine/FOTAComponent.h"
#include "ui/WindowPort.h"

namespace fota {

namespace ant {
class AntLibrary;
}

enum TStatusPaketRecv { sprNever, sprFirst, sprReceiving };

// The network key of the "Duf" trainer type and the default of the channel
// settings dialog (a private key of this program, not a public network's).
inline constexpr std::array<std::uint8_t, 8> kDefaultNetworkKey = {0x4E, 0x6F, 0x72, 0x76,
                                                                   0x6F, 0x4B, 0x65, 0x79};

// Where the device numbers are kept (the registry on Windows, an INI file
// elsewhere): a text value by key path and value name, or nothing.
class DeviceNumberStore {
public:
    virtual ~DeviceNumberStore() = default;
    virtual std::optional<std::string> ReadString(const std::string& key,
                                                  const std::string& valueName) = 0;
};

class TMainForm : public TFOTALink {
public:
    TMainForm(WindowPort& port, ant::AntLibrary& library, Clock& timeBase);
    ~TMainForm();
    TMainForm(const TMainForm&) = delete;
    TMainForm& operator=(const TMainForm&) = delete;

    // ---- Start-up, buttons, window events.
    // Start-up after the agreement: log lines, device numbers, queue, channel
    // defaults, Reset. A null store holds nothing.
    void FormCreate(DeviceNumberStore* store);
    void Btn_StartClick();
    void Btn_StopClick();
    void FormClose();
    void FormDestroy();
    void FormKeyDown(int key, bool shift, bool alt, bool ctrl, bool otherModifiers);

    // ---- Device numbers.
    std::int32_t ReadTrainerDeviceNumber(DeviceNumberStore* store);
    std::int32_t ReadConsoleDeviceNumber(DeviceNumberStore* store);

    // ---- Event intake.
    bool CreateChannelGenericQueue();
    bool ANTResponseCallback(std::uint8_t channel, std::uint8_t messageId);
    bool ANTChannelEventCallback(std::uint8_t channel, std::uint8_t eventCode);
    void tmrProcessANTMessageTimer();

    // ---- Link.
    void ProcessMainEvent(const TANTGenericMessage& msg);
    void ProcessChannelEvent(const TANTGenericMessage& msg);
    void Reset();
    void CloseProcedure();

    // ---- Upgrade.
    void Button7Click();
    void TimerStatoProcessoTimer() { FOTAEventProcedure(nullptr); }
    void FOTAEventProcedure(void* Sender);
    void ProgressFOTAProgramming(void* Sender, std::int32_t max, std::int32_t val);

    static std::string StatusText(TProgrammingStateFota s);

    // ---- Diagnostic controls (hidden in normal operation; DiagnosticControls.cpp).
    // Each page-sending control fills aucTxBuf, sends it on channel 0 whether
    // or not a channel is open, and writes one log box line.
    void Button2Click();  // "Select Console": broadcast 09 01 00 ...
    void Button3Click();  // "MAX Resistance": broadcast 01 FF 00 ...
    void Button5Click();  // "Fw Version": the version request, acknowledged, after 500 ms
    void btn1Click();     // the software-download dialog for unit type 9
    // The trainer-type box's text changed: "Console" puts ConsoleDeviceNumber
    // into txtDeviceNumber, "Mova" TrainerDeviceNumber (exact comparison).
    void cmbTipoTrainerChange(const std::string& text);
    // Waits ms on the time base while the window goes on handling its messages.
    void WaitProcessingMessages(std::int64_t ms);

    // ---- Fields of the link, under the window's names.
    std::uint8_t ucChannel = 0;
    ant::ResponseBuffer EventResponseBuffer{};
    std::uint8_t* PEventResponseBufferChar = nullptr;
    bool bOpenChannel = false;
    TStatusPaketRecv bFirstPackReceived = sprNever;
    std::uint8_t ucUSBDeviceNum = 0;
    std::int64_t RxEventCounter = 0;
    std::int32_t usRxCount = 0;
    double usNoConnection = 0.0;
    double ucRxFailSearchCount = 0.0;
    std::uint8_t ChannelType = 0;
    std::uint8_t RFChannel = 71;
    std::uint8_t TransmissionType = 1;
    std::uint8_t DeviceType = 19;
    std::int32_t DeviceNumber = 0;
    std::uint16_t MessagePeriod = 31814;
    std::array<std::uint8_t, 9> NetworkKey{};
    std::uint16_t Baudrate = 57600;
    std::uint8_t NetworkNumber = 0;
    std::array<std::uint8_t, 8> aucNetAddr{};
    ant::TxBuffer aucTxBuf{};
    ant::RxBuffer aucRxBuf{};

    // The values of the hidden controls the start sequence reads.
    std::int32_t txtDeviceNumber = 0;  // device-number box
    std::int32_t Spin_ChannelID = 0;   // USB device number box
    std::string cmbTipoTrainer = "Mova";
    bool deviceNumberVisible = false;

    std::int32_t TrainerDeviceNumber = -1;
    std::int32_t ConsoleDeviceNumber = -1;

    // Handed to every worker the upgrade start creates (a dry run stops there).
    TFOTAThread::TBeforeProgramming BeforeProgramming;

    // The newest worker (earlier ones are kept until the window goes away).
    TFOTAThread* FFOTAThread = nullptr;

    std::unique_ptr<TChannelGenericQueue> ChannelGenericQueue;

    // True from a successful ANT_Init until the library is closed.
    bool LibraryInitialised() const { return libraryInitialised_; }
    bool StatePollEnabled() const { return statePoll_; }

private:
    void Log(const std::string& line) { port_.AddLogBoxLine(line); }
    void SetStatePoll(bool on);
    void ConnectionLost();
    void CheckSetUpTime();
    void StickLost();

    // How long the stick may take from the start button to the first channel event.
    static constexpr Duration kSetUpTimeLimit = std::chrono::seconds(15);
    Duration startedAt_{};

    WindowPort& port_;
    std::vector<std::unique_ptr<TFOTAThread>> workers_;
    bool libraryInitialised_ = false;
    bool statePoll_ = false;
    bool closing_ = false;
    std::int32_t progressMax_ = 100;  // UI thread only
};

// printf-style formatting for the log box lines.
std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

}  // namespace fota
