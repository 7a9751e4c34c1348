#pragma once
// The worker against a scripted link, in virtual time: every page it sends
// is recorded with its time, and a script plays the channel event handler,
// storing what the trainer reported and raising or clearing the link flags
// at chosen moments after each send. The trace interleaves the sends and the
// worker's event log lines, each with its time in seconds:
//
//     "  0.000 > version request"
//     "  2.120   Firmware version received 95"

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/FOTAComponent.h"
#include "log/EventLog.h"
#include "platform/Clock.h"
#include "tests/ui/Fakes.h"

namespace fota {

// Reaches into the worker where a test must set up what the body would have.
class TFOTAThreadTest {
public:
    static void GiveImage(TFOTAThread& worker, std::unique_ptr<TFirmware> image) {
        worker.Ffrm = std::move(image);
    }
};

}  // namespace fota

namespace fota::testing {

// What the handler does at a moment: store values, raise or clear flags.
using HandlerAct = std::function<void(TFOTALink& link, TFOTAThread& worker)>;

struct Reaction {
    // After the send, in milliseconds. kDuringSend: before the send returns,
    // so before the worker prepares its flags (a reply handled in between).
    std::int64_t ms = 0;
    HandlerAct act;
};
inline constexpr std::int64_t kDuringSend = -1;

// The reactions to the n-th send (counted from 1, pages and bursts
// together); `what` names the page as the trace does.
using LinkScript = std::function<std::vector<Reaction>(const std::string& what, int n)>;

// ---- What the channel event handler does for each event.
inline HandlerAct TransferCompleted() {
    return [](TFOTALink& l, TFOTAThread&) { l.wait_msg_tx = true; };
}
inline HandlerAct TransferFailed() {
    return [](TFOTALink& l, TFOTAThread&) { l.wait_msg_tx_fail = true; };
}
// A version reply received as acknowledged data.
inline HandlerAct VersionReply(std::uint8_t v, std::uint8_t s, std::uint8_t u) {
    return [=](TFOTALink& l, TFOTAThread& w) {
        w.SetFirmwareVersion(v);
        w.SetFirmwareSubVersion(s);
        if (s != 0) {
            w.SetUnitType(u);
        }
        l.wait_ack_fw_ver = true;
    };
}
// A read reply: the unit type or the zero position, whichever is awaited.
inline HandlerAct ReadReply(std::uint8_t value) {
    return [=](TFOTALink& l, TFOTAThread& w) {
        if (!l.wait_ack_unit_type) {
            w.SetUnitType(value);
            l.wait_ack_unit_type = true;
        }
        if (!l.wait_ack_zero_pos) {
            w.SetZeroPositionValue(value);
            l.wait_ack_zero_pos = true;
        }
    };
}
inline HandlerAct WriteConfirmed() {
    return [](TFOTALink& l, TFOTAThread&) { l.wait_ack_rd_eprom = false; };
}
inline HandlerAct BlockAcknowledged() {
    return [](TFOTALink& l, TFOTAThread&) { l.wait_ack = false; };
}
inline HandlerAct Broadcast() {
    return [](TFOTALink&, TFOTAThread& w) {
        if (w.WaitingForBoot()) {
            w.SetWaitingForBoot(false);
        }
    };
}

// The page a trace line names.
std::string DescribePage(const std::uint8_t* page);

class ScriptedLink {
public:
    // The body runs on the worker's thread and returns its result as text.
    using Body = std::function<std::string(TFOTAThread& worker)>;

    ScriptedLink();
    ~ScriptedLink();

    // Runs body on a new worker until it ends; returns its result, or
    // "(stopped)" when a stop request ended it.
    std::string Run(const Body& body, LinkScript script);
    // Runs the worker's whole body (Execute).
    std::string RunUpgrade(LinkScript script);

    std::vector<std::string> trace;
    std::vector<std::string> logTexts;  // the event log lines alone
    double endSeconds = 0;              // when the body ended
    TFOTALink link;
    std::unique_ptr<TFOTAThread> worker;
    // Images the body loads, by any name (empty: the body's own default).
    std::function<bool(const std::string& name, TFirmware& image)> images;

private:
    class Library;
    class Worker;
    struct Due {
        Duration at;
        HandlerAct act;
    };

    void Sent(const std::string& what);
    std::string Note(const std::string& text) const;

    VirtualClock clock_;
    std::unique_ptr<Library> library_;
    LinkScript script_;
    std::vector<Due> due_;
    std::atomic<int> sends_{0};
};

// Intel HEX data records of 16 bytes each at the given addresses: one block
// per address that does not follow the previous record.
std::vector<std::string> HexRecords(std::initializer_list<std::uint16_t> addresses);

}  // namespace fota::testing
