#pragma once
// The main window without a toolkit: its timers run on an EventLoop (the pump
// every 300 ms from creation, the state poll every 1000 ms while on), its
// modal boxes are answered at once and reported to an observer. The terminal
// program and the end-to-end tests drive an upgrade through it.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/EventLoop.h"
#include "ui/ConfigForm.h"
#include "ui/WindowPort.h"

namespace fota {

class HeadlessWindow : public WindowPort {
public:
    // What the window shows, as it happens.
    struct Observer {
        std::function<void(const std::string&)> logBoxLine;
        std::function<void(const std::string&)> message;
        std::function<void(const std::string&)> status;
        std::function<void(std::int32_t max, std::int32_t position)> progress;
        std::function<void(std::uint8_t unitType)> downloadDialog;
        // Answers the input box; nullopt is a cancel.
        std::function<std::optional<std::string>(const std::string& caption,
                                                 const std::string& prompt,
                                                 const std::string& defaultAnswer)>
            inputBox;
    };

    HeadlessWindow(EventLoop& loop, ant::AntLibrary& library, Observer observer = {});
    ~HeadlessWindow() override;

    TMainForm& form() { return *form_; }

    // Runs until the window closes or the program is ended; returns the exit code.
    int Run();

    // What was shown, in order (for tests and the terminal's summary).
    const std::vector<std::string>& messages() const { return messages_; }
    const std::vector<std::string>& logBox() const { return logBox_; }
    std::string status() const { return status_; }
    bool closed() const { return closed_; }

    // WindowPort
    void AddLogBoxLine(const std::string& line) override;
    void ShowMessage(const std::string& text) override;
    void SetStatusText(const std::string& text) override;
    void SetActivity(bool animating) override { activity_ = animating; }
    void SetButtons(bool, bool) override {}
    void SetProgress(std::int32_t max, std::int32_t position) override;
    void SetStatePoll(bool enabled) override;
    void ShowDownloadDialog(std::uint8_t unitType) override;
    std::optional<std::string> InputBox(const std::string& caption, const std::string& prompt,
                                        const std::string& defaultAnswer) override;
    void SetDeviceNumberVisible(bool) override {}
    void CloseWindow() override;
    void TerminateProgram(int exitCode) override;
    void Post(std::function<void()> fn) override;

    bool activity() const { return activity_; }

private:
    EventLoop& loop_;
    Observer observer_;
    std::unique_ptr<TMainForm> form_;
    EventLoop::TimerId pump_ = 0;
    EventLoop::TimerId poll_ = 0;
    std::vector<std::string> messages_;
    std::vector<std::string> logBox_;
    std::string status_;
    bool activity_ = false;
    bool closed_ = false;
};

}  // namespace fota
