#include "tests/engine/ScriptedLink.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace fota::testing {

std::string DescribePage(const std::uint8_t* d) {
    switch (d[0]) {
        case 0x02:
            return d[1] == 0x10 ? "unit type request" : "zero position read request";
        case 0x03:
            return "zero position write " + std::to_string(d[4]);
        case 0x10:
            return "program mode start " + std::to_string((d[1] << 16) | (d[2] << 8) | d[3]);
        case 0x11:
            return "version request";
        case 0x13:
            return "block ack request " + std::to_string((d[1] << 8) | d[2]);
        case 0x14:
            return "program mode exit";
        default:
            return "page " + std::to_string(d[0]);
    }
}

// Records the worker's sends and hands them to the script.
class ScriptedLink::Library : public ScriptedAntLibrary {
public:
    explicit Library(ScriptedLink& link) : link_(link) {}
    ant::BOOL ANT_SendAcknowledgedData(ant::UCHAR ch, const ant::UCHAR* d) override {
        ScriptedAntLibrary::ANT_SendAcknowledgedData(ch, d);
        link_.Sent(DescribePage(d));
        return ant::TRUE;
    }
    ant::BOOL ANT_SendBurstTransfer(ant::UCHAR ch, const ant::UCHAR* d, ant::USHORT n) override {
        ScriptedAntLibrary::ANT_SendBurstTransfer(ch, d, n);
        link_.Sent("burst of " + std::to_string(n));
        return ant::TRUE;
    }

private:
    ScriptedLink& link_;
};

class ScriptedLink::Worker : public TFOTAThread {
public:
    Worker(TFOTALink& link, Body body) : TFOTAThread(link), body_(std::move(body)) {}
    std::string result = "(stopped)";
    void WholeBody() { TFOTAThread::Execute(); }

protected:
    void Execute() override { result = body_(*this); }

private:
    Body body_;
};

ScriptedLink::ScriptedLink() : library_(std::make_unique<Library>(*this)) {
    link.clock = &clock_;
    link.antLibrary = library_.get();
    eventlog::setFolder(::testing::TempDir());
    eventlog::setDebugOutput(false);
    eventlog::setObserver([this](const std::string& text) {
        logTexts.push_back(text);
        trace.push_back(Note("  " + text));
    });
}

ScriptedLink::~ScriptedLink() {
    if (worker) {
        worker->Terminate();
        worker->WaitFor();
    }
    eventlog::setObserver(nullptr);
    eventlog::setFolder(std::nullopt);
}

std::string ScriptedLink::Note(const std::string& text) const {
    char at[32];
    std::snprintf(at, sizeof at, "%7.3f ", std::chrono::duration<double>(clock_.now()).count());
    return at + text;
}

void ScriptedLink::Sent(const std::string& what) {
    trace.push_back(Note("> " + what));
    const int n = ++sends_;
    for (Reaction& r : script_ ? script_(what, n) : std::vector<Reaction>{}) {
        if (r.ms == kDuringSend) {
            r.act(link, *worker);
        } else {
            due_.push_back({clock_.now() + std::chrono::milliseconds(r.ms), std::move(r.act)});
        }
    }
}

std::string ScriptedLink::Run(const Body& body, LinkScript script) {
    script_ = std::move(script);
    auto w = std::make_unique<Worker>(link, body);
    Worker* probe = w.get();
    if (images) {
        w->LoadImage = images;
    }
    worker = std::move(w);
    worker->Start();
    for (;;) {
        // The handler's moments that have come, earliest first.
        std::stable_sort(due_.begin(), due_.end(),
                         [](const Due& a, const Due& b) { return a.at < b.at; });
        while (!due_.empty() && due_.front().at <= clock_.now()) {
            const HandlerAct act = std::move(due_.front().act);
            due_.erase(due_.begin());
            act(link, *worker);
        }
        if (worker->Finished()) {
            break;
        }
        const Duration next = due_.empty() ? kForever : due_.front().at;
        const int seen = sends_;
        clock_.waitUntil(next, [&] { return sends_ != seen || worker->Finished(); });
    }
    endSeconds = std::chrono::duration<double>(clock_.now()).count();
    worker->WaitFor();
    return probe->result;
}

std::string ScriptedLink::RunUpgrade(LinkScript script) {
    return Run(
        [](TFOTAThread& w) {
            static_cast<Worker&>(w).WholeBody();
            return std::string(StateName(w.GetState()));
        },
        std::move(script));
}

std::vector<std::string> HexRecords(std::initializer_list<std::uint16_t> addresses) {
    std::vector<std::string> lines;
    for (const std::uint16_t a : addresses) {
        char head[16];
        std::snprintf(head, sizeof head, ":10%04X00", a);
        std::string line = head;
        for (int i = 0; i < 16; ++i) {
            char byte[3];
            std::snprintf(byte, sizeof byte, "%02X", (a + i) & 0xFF);
            line += byte;
        }
        lines.push_back(line + "00");  // the checksum is not examined
    }
    return lines;
}

}  // namespace fota::testing
