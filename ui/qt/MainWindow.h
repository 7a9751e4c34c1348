#pragma once
// The main window (TForm1) drawn with Qt Widgets. Its logic is TMainForm:
// this class lays out the controls, runs the two timers, forwards clicks and
// keys to TMainForm and shows what TMainForm tells it through the WindowPort.
//
// Order of teardown: the destructor stops the timers, runs FormDestroy, then
// destroys TMainForm (which stops and joins the upgrade worker and releases
// the ANT library) while every widget still exists; the widgets go last.

#include <QWidget>
#include <functional>
#include <memory>

#include "ui/ConfigForm.h"
#include "ui/WindowPort.h"

class QComboBox;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTimer;

namespace fota {
class Clock;
namespace ant {
class AntLibrary;
}
}  // namespace fota

namespace fota::qt {

class ActivityIndicator;
class TForm2;

class TForm1 : public QWidget, public WindowPort {
    Q_OBJECT
public:
    static constexpr int kClientWidth = 464;
    static constexpr int kClientHeight = 447;  // as designed; start-up cuts it
    static constexpr int kOuterHeight = 183;   // window height after start-up

    // The timers follow the time base: a clock running N times faster
    // (a simulated world) makes them tick N times as often.
    TForm1(ant::AntLibrary& library, Clock& clock, QWidget* parent = nullptr);
    ~TForm1() override;

    TMainForm& form() { return *form_; }

    // The window's start-up: the agreement, then the main window's own
    // (device numbers, message queue, channel defaults). False when the user
    // declined the agreement: nothing more is shown and the program ends.
    bool FormCreate(DeviceNumberStore* store);

    // The channel settings dialog that "Config Channel" shows.
    void setChannelSettingsDialog(TForm2* dialog) { channelSettings_ = dialog; }
    // How the program ends (default: the application's event loop ends with
    // the code). Tests record it instead.
    void setEndProgram(std::function<void(int exitCode)> endProgram);
    // The window title names a simulated trainer.
    void setSimulated(bool simulated);
    // No upgrade may start (a build whose images must not reach a real
    // trainer, for instance): the start button stays disabled, the reason
    // stands in the status line.
    void blockStart(const QString& reason);

    // ---- Controls, under the window's names.
    QLabel* lblTitolo = nullptr;
    QLabel* img1 = nullptr;
    QLabel* lblStatus = nullptr;
    QPushButton* Btn_Start = nullptr;
    ActivityIndicator* actvtyndctr1 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QPushButton* Btn_Stop = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    QLabel* lblDevNumber = nullptr;
    QSpinBox* txtDeviceNumber = nullptr;
    QLabel* Label7 = nullptr;
    QSpinBox* Spin_ChannelID = nullptr;
    QComboBox* cmbTipoTrainer = nullptr;
    QLabel* lbl1 = nullptr;
    // Diagnostic controls.
    QPushButton* Button1 = nullptr;  // "Config Channel"
    QPushButton* Button2 = nullptr;  // "Select Console"
    QPushButton* Button3 = nullptr;  // "MAX Resistance"
    QPushButton* Button5 = nullptr;  // "Fw Version"
    QPushButton* Button7 = nullptr;  // "Send Firmware"
    QPushButton* btn1 = nullptr;
    QLabel* lnklbl1 = nullptr;
    // Timers: the message pump (300 ms) and the state poll (1000 ms).
    QTimer* tmrProcessANTMessage = nullptr;
    QTimer* TimerStatoProcesso = nullptr;

    // ---- WindowPort
    void AddLogBoxLine(const std::string& line) override;
    void ShowMessage(const std::string& text) override;
    void SetStatusText(const std::string& text) override;
    void SetActivity(bool animating) override;
    void SetButtons(bool startEnabled, bool closeEnabled) override;
    void SetProgress(std::int32_t max, std::int32_t position) override;
    void SetStatePoll(bool enabled) override;
    void ShowDownloadDialog(std::uint8_t unitType) override;
    std::optional<std::string> InputBox(const std::string& caption, const std::string& prompt,
                                        const std::string& defaultAnswer) override;
    void SetDeviceNumberVisible(bool visible) override;
    void CloseWindow() override;
    void TerminateProgram(int exitCode) override;
    void Post(std::function<void()> fn) override;
    void ProcessMessages() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void createControls();
    void setClientSize(QSize size);
    void applyOuterHeight();
    void syncDeviceNumberBox();
    void endProgram(int exitCode);

    std::unique_ptr<TMainForm> form_;
    TForm2* channelSettings_ = nullptr;
    std::function<void(int)> endProgram_;
    QSize normalSize_{kClientWidth, kClientHeight};
    bool outerHeightPending_ = false;
    bool shownOnce_ = false;
    bool closing_ = false;
    bool destroying_ = false;
    bool startBlocked_ = false;
};

}  // namespace fota::qt
