#pragma once
// A recording window port, a scripted ANT library and a settings store held
// in a map, for the main window's logic: no Qt, no stick, no settings file.

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "antlink/ANTCommands.h"
#include "ui/ConfigForm.h"
#include "ui/WindowPort.h"

namespace fota::testing {

class RecordingPort : public WindowPort {
public:
    void AddLogBoxLine(const std::string& line) override { logBox.push_back(line); }
    void ShowMessage(const std::string& text) override {
        messages.push_back(text);
        if (onMessage) {
            onMessage(text);
        }
    }
    void SetStatusText(const std::string& text) override { status.push_back(text); }
    void SetActivity(bool on) override { activity = on; }
    void SetButtons(bool start, bool close) override {
        startEnabled = start;
        closeEnabled = close;
    }
    void SetProgress(std::int32_t max, std::int32_t pos) override {
        progress.push_back({max, pos});
    }
    void SetStatePoll(bool on) override { statePoll = on; }
    void ShowDownloadDialog(std::uint8_t unitType) override { downloadDialogs.push_back(unitType); }
    std::optional<std::string> InputBox(const std::string&, const std::string&,
                                        const std::string&) override {
        if (answers.empty()) {
            return std::nullopt;
        }
        auto a = answers.front();
        answers.pop_front();
        return a;
    }
    void SetDeviceNumberVisible(bool v) override { deviceNumberVisible = v; }
    void CloseWindow() override {
        ++closeRequests;
        if (onClose) {
            onClose();
        }
    }
    void TerminateProgram(int code) override { terminated.push_back(code); }
    void Post(std::function<void()> fn) override { posted.push_back(std::move(fn)); }

    void RunPosted() {
        while (!posted.empty()) {
            auto fn = std::move(posted.front());
            posted.pop_front();
            fn();
        }
    }

    std::vector<std::string> logBox, messages, status;
    std::vector<std::pair<int, int>> progress;
    std::vector<std::uint8_t> downloadDialogs;
    std::deque<std::optional<std::string>> answers;
    std::vector<int> terminated;
    std::deque<std::function<void()>> posted;
    std::function<void(const std::string&)> onMessage;
    std::function<void()> onClose;
    bool activity = false, startEnabled = true, closeEnabled = false, statePoll = false;
    bool deviceNumberVisible = false;
    int closeRequests = 0;
};

// Records every call as text; ANT_Init answers as told.
class ScriptedAntLibrary : public ant::AntLibrary {
public:
    ant::BOOL ANT_Init(ant::UCHAR dev, ant::ULONG baud, ant::UCHAR, ant::UCHAR) override {
        calls.push_back("Init(" + std::to_string(dev) + "," + std::to_string(baud) + ")");
        return initResult;
    }
    void ANT_AssignResponseFunction(ant::ResponseFunc f, ant::UCHAR* buf) override {
        calls.push_back(f ? "AssignResponse" : "AssignResponse(nil)");
        response = std::move(f);
        responseBuffer = buf;
    }
    void ANT_AssignChannelEventFunction(ant::UCHAR ch, ant::ChannelEventFunc f,
                                        ant::UCHAR* buf) override {
        calls.push_back(std::string(f ? "AssignChannelEvent" : "AssignChannelEvent(nil)") + "(" +
                        std::to_string(ch) + ")");
        event = std::move(f);
        rxBuffer = buf;
    }
    ant::BOOL ANT_ResetSystem() override { return record("ResetSystem"); }
    ant::BOOL ANT_SetNetworkKey(ant::UCHAR net, const ant::UCHAR*) override {
        return record("SetNetworkKey(" + std::to_string(net) + ")");
    }
    ant::BOOL ANT_AssignChannel(ant::UCHAR ch, ant::UCHAR type, ant::UCHAR net) override {
        return record("AssignChannel(" + std::to_string(ch) + "," + std::to_string(type) + "," +
                      std::to_string(net) + ")");
    }
    ant::BOOL ANT_SetChannelId(ant::UCHAR ch, ant::USHORT dev, ant::UCHAR type,
                               ant::UCHAR trans) override {
        return record("SetChannelId(" + std::to_string(ch) + "," + std::to_string(dev) + "," +
                      std::to_string(type) + "," + std::to_string(trans) + ")");
    }
    ant::BOOL ANT_SetChannelPeriod(ant::UCHAR ch, ant::USHORT p) override {
        return record("SetChannelPeriod(" + std::to_string(ch) + "," + std::to_string(p) + ")");
    }
    ant::BOOL ANT_SetChannelSearchTimeout(ant::UCHAR ch, ant::UCHAR t) override {
        return record("SetChannelSearchTimeout(" + std::to_string(ch) + "," + std::to_string(t) +
                      ")");
    }
    ant::BOOL ANT_SetChannelRFFreq(ant::UCHAR ch, ant::UCHAR f) override {
        return record("SetChannelRFFreq(" + std::to_string(ch) + "," + std::to_string(f) + ")");
    }
    ant::BOOL ANT_OpenChannel(ant::UCHAR ch) override {
        return record("OpenChannel(" + std::to_string(ch) + ")");
    }
    ant::BOOL ANT_SendAcknowledgedData(ant::UCHAR, const ant::UCHAR* d) override {
        sentPages.push_back(std::vector<std::uint8_t>(d, d + 8));
        return record("SendAcknowledgedData");
    }
    ant::BOOL ANT_SendBroadcastData(ant::UCHAR, const ant::UCHAR*) override {
        return record("SendBroadcastData");
    }
    ant::BOOL ANT_SendBurstTransfer(ant::UCHAR, const ant::UCHAR* d, ant::USHORT n) override {
        bursts.push_back(std::vector<std::uint8_t>(d, d + 8 * n));
        return record("SendBurstTransfer(" + std::to_string(n) + ")");
    }
    void ANT_Close() override { record("Close"); }
    void setStickLostHandler(std::function<void()> handler) override {
        stickLostHandler = std::move(handler);
    }
    std::function<void()> stickLostHandler;
    bool isSimulated() const override { return true; }

    // Delivers a response as the stick would: buffer first, then the callback.
    void Respond(std::uint8_t channel, std::uint8_t id, std::uint8_t code) {
        responseBuffer[0] = channel;
        responseBuffer[1] = id;
        responseBuffer[2] = code;
        responseBuffer[3] = 0;
        response(channel, 0x40);
    }
    void Event(std::uint8_t code, std::array<std::uint8_t, 8> page = {}) {
        rxBuffer[0] = 0;
        std::copy(page.begin(), page.end(), rxBuffer + 1);
        event(0, code);
    }

    ant::BOOL record(std::string call) {
        calls.push_back(std::move(call));
        return ant::TRUE;
    }

    ant::BOOL initResult = ant::TRUE;
    std::vector<std::string> calls;
    std::vector<std::vector<std::uint8_t>> sentPages;
    std::vector<std::vector<std::uint8_t>> bursts;
    ant::ResponseFunc response;
    ant::ChannelEventFunc event;
    ant::UCHAR* responseBuffer = nullptr;
    ant::UCHAR* rxBuffer = nullptr;
};

// Settings values by key and name run together.
class MapStore : public DeviceNumberStore {
public:
    std::optional<std::string> ReadString(const std::string& key,
                                          const std::string& name) override {
        auto it = values.find(key + name);
        return it == values.end() ? std::nullopt : std::optional(it->second);
    }
    std::map<std::string, std::string> values;
};

}  // namespace fota::testing
