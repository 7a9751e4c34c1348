#pragma once
// What the main window's logic needs from whatever draws it: the Qt window,
// the terminal program, or a test's recording fake. Every call but Post comes
// from the UI thread.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace fota {

class WindowPort {
public:
    virtual ~WindowPort() = default;

    // One line appended to the log box (Memo1).
    virtual void AddLogBoxLine(const std::string& line) = 0;
    // A modal message box; returns when the user has dismissed it.
    virtual void ShowMessage(const std::string& text) = 0;
    // The status label (lblStatus).
    virtual void SetStatusText(const std::string& text) = 0;
    // The activity indicator turning or still.
    virtual void SetActivity(bool animating) = 0;
    // Btn_Start and Btn_Stop.
    virtual void SetButtons(bool startEnabled, bool closeEnabled) = 0;
    // The progress bar: maximum and position (the minimum stays 0).
    virtual void SetProgress(std::int32_t max, std::int32_t position) = 0;
    // The state poll timer (1000 ms) on or off.
    virtual void SetStatePoll(bool enabled) = 0;
    // The modal software-download dialog for a unit type.
    virtual void ShowDownloadDialog(std::uint8_t unitType) = 0;
    // The input box; nullopt when cancelled.
    virtual std::optional<std::string> InputBox(const std::string& caption,
                                                const std::string& prompt,
                                                const std::string& defaultAnswer) = 0;
    // Show or hide the device-number label and box.
    virtual void SetDeviceNumberVisible(bool visible) = 0;
    // Ask the window to close: the front end runs FormClose, then ends the program.
    virtual void CloseWindow() = 0;
    // End the program at once with this exit code.
    virtual void TerminateProgram(int exitCode) = 0;
    // Runs fn on the UI thread soon. Any thread.
    virtual void Post(std::function<void()> fn) = 0;
    // Handles the messages waiting for the window (clicks, repaints, timers)
    // and returns; used by waits that must keep the window responsive.
    virtual void ProcessMessages() {}
};

}  // namespace fota
