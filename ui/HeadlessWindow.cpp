#include "ui/HeadlessWindow.h"

namespace fota {

HeadlessWindow::HeadlessWindow(EventLoop& loop, ant::AntLibrary& library, Observer observer)
    : loop_(loop), observer_(std::move(observer)) {
    form_ = std::make_unique<TMainForm>(*this, library, loop.clock());
    pump_ = loop_.addTimer(std::chrono::milliseconds(300),
                           [this] { form_->tmrProcessANTMessageTimer(); });
    poll_ = loop_.addTimer(
        std::chrono::milliseconds(1000), [this] { form_->TimerStatoProcessoTimer(); }, false);
}

HeadlessWindow::~HeadlessWindow() {
    loop_.setTimerEnabled(pump_, false);
    loop_.setTimerEnabled(poll_, false);
    form_->FormDestroy();
    form_.reset();  // stops the workers and releases the library
}

int HeadlessWindow::Run() {
    return loop_.run();
}

void HeadlessWindow::AddLogBoxLine(const std::string& line) {
    logBox_.push_back(line);
    if (observer_.logBoxLine) {
        observer_.logBoxLine(line);
    }
}

void HeadlessWindow::ShowMessage(const std::string& text) {
    messages_.push_back(text);
    if (observer_.message) {
        observer_.message(text);
    }
}

void HeadlessWindow::SetStatusText(const std::string& text) {
    if (text != status_ && observer_.status) {
        observer_.status(text);
    }
    status_ = text;
}

void HeadlessWindow::SetProgress(std::int32_t max, std::int32_t position) {
    if (observer_.progress) {
        observer_.progress(max, position);
    }
}

void HeadlessWindow::SetStatePoll(bool enabled) {
    loop_.setTimerEnabled(poll_, enabled);
}

void HeadlessWindow::ShowDownloadDialog(std::uint8_t unitType) {
    if (observer_.downloadDialog) {
        observer_.downloadDialog(unitType);
    }
}

std::optional<std::string> HeadlessWindow::InputBox(const std::string& caption,
                                                    const std::string& prompt,
                                                    const std::string& defaultAnswer) {
    if (observer_.inputBox) {
        return observer_.inputBox(caption, prompt, defaultAnswer);
    }
    return std::nullopt;
}

void HeadlessWindow::CloseWindow() {
    if (closed_) {
        return;
    }
    closed_ = true;
    form_->FormClose();
    loop_.quit(0);
}

void HeadlessWindow::TerminateProgram(int exitCode) {
    closed_ = true;
    loop_.quit(exitCode);
}

void HeadlessWindow::Post(std::function<void()> fn) {
    loop_.post(std::move(fn));
}

}  // namespace fota
