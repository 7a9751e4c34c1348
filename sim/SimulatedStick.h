#pragma once
// A simulated ANT USB stick with the simulated trainer in radio range. It
// speaks the ANT serial message protocol byte for byte, so the program's whole
// ANT library runs against it.
//
// The core knows no thread and no transport: the driver (StickDriver) hands it
// the bytes the program wrote with the clock time they arrived
// (onHostBytes), lets time pass (advanceTo), takes what the stick sends
// (takeOutput) and sleeps until nextEventTime() or the next bytes. Every
// public call takes an internal lock, so a test may look at the trainer from
// its own thread at any time.
//
// The stick:
//  - answers every configuration command with a channel response 0x40
//    (channel, message ID, code): CHANNEL_IN_WRONG_STATE for a command the
//    channel's state does not allow (opening an unassigned channel, assigning
//    an assigned one), CHANNEL_NOT_OPENED for data on a closed channel,
//    INVALID_MESSAGE for an unknown ID or a wrong length; data messages are
//    answered only on error; a reset command is answered by the start-up
//    message 0x6F (0x20) after StickConfig::resetTime;
//  - a bad checksum from the program gets the serial error message 0xAE (0x02);
//  - slave channels search, then track the trainer on its period; a missed
//    message gives EVENT_RX_FAIL, enough of them EVENT_RX_FAIL_GO_TO_SEARCH; a
//    search that outlasts the search timeout (units of 2.5 s; 255 = never)
//    gives EVENT_RX_SEARCH_TIMEOUT, then EVENT_CHANNEL_CLOSED;
//  - received pages go to the program as 0x4E (broadcast) or 0x4F
//    (acknowledged) with the channel and 8 bytes;
//  - the program's data goes out in the slot right after a received master
//    message: acknowledged data ends in EVENT_TRANSFER_TX_COMPLETED (the
//    trainer acknowledged it, ackTime later) or EVENT_TRANSFER_TX_FAILED;
//    broadcast data from a slave gives no event; a burst starts with
//    EVENT_TRANSFER_TX_START, takes burstPacketTime per packet and ends in
//    EVENT_TRANSFER_TX_COMPLETED or EVENT_TRANSFER_TX_FAILED;
//  - burst packets must carry the sequence 0, 1, 2, 3, 1, 2, 3, ... (bits 5-6)
//    with bit 7 on the last; a wrong one is answered with
//    TRANSFER_SEQUENCE_NUMBER_ERROR and fails the burst (with
//    EVENT_TRANSFER_TX_FAILED once it is on the air); every further packet up
//    to the next first packet gets TRANSFER_SEQUENCE_NUMBER_ERROR too;
//  - a new acknowledged send or burst while one is under way or waiting is
//    answered with TRANSFER_IN_PROGRESS, and the waiting one stays;
//  - data for a slave channel that does not track the master (searching, or
//    missing its messages) waits: it goes out in the first slot after the
//    channel hears the master again, or fails with EVENT_TRANSFER_TX_FAILED
//    when the channel closes (search timeout, close command);
//  - a master channel reports EVENT_TX once per period.
//
// Timing, the trainer's slots being one period P apart: an acknowledged page
// waits for the next slot (0 to P), its result comes ackTime later and the
// trainer's reply goes out in the slot after (P later). A burst of n packets
// waits for the next slot and takes n * burstPacketTime.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "antlink/AntFrame.h"
#include "platform/Clock.h"
#include "sim/SimConfig.h"
#include "sim/Trainer.h"

namespace fota::sim {

enum class ChannelState : std::uint8_t { Unassigned, Assigned, Searching, Tracking };

struct StickReport {
    struct Channel {
        ChannelState state = ChannelState::Unassigned;
        std::uint8_t type = 0;
        std::uint16_t deviceNumber = 0;
        std::uint8_t rfFrequency = 0;
        std::uint16_t period = 0;
    };
    std::vector<Channel> channels;
    std::uint64_t framesIn = 0;     // well-formed messages from the program
    std::uint64_t badFramesIn = 0;  // bad checksum or length
    std::uint64_t framesOut = 0;
    std::uint64_t bytesOut = 0;
    std::uint64_t garbageBursts = 0;  // runs of garbage put on the line
    std::uint64_t corruptedFrames = 0;
    std::uint64_t resets = 0;
    std::uint64_t ackedSends = 0;  // acknowledged pages put on the air
    std::uint64_t bursts = 0;      // bursts put on the air
    bool unplugged = false;
};

class SimulatedStick {
public:
    explicit SimulatedStick(SimConfig config);
    ~SimulatedStick();
    SimulatedStick(const SimulatedStick&) = delete;
    SimulatedStick& operator=(const SimulatedStick&) = delete;

    // Bytes from the program, arrived at clock time now (events due before
    // now happen first). Any bytes at all: nothing here trusts them.
    void onHostBytes(std::span<const std::uint8_t> bytes, Duration now);
    // Lets every event due up to now happen.
    void advanceTo(Duration now);
    // The time of the next event; kForever when nothing is planned.
    Duration nextEventTime() const;
    // What the stick sent since the last call.
    std::vector<std::uint8_t> takeOutput();
    // The stick vanishes (a fault knob): the driver ends the line.
    bool unplugRequested() const;
    // The line to the program failed for good.
    void onLineLost(Duration now);
    // The program closed its end; the stick keeps its state meanwhile.
    void onLineClosed(Duration now);

    // Time-stamped lines of what happened (the last 50000), and a sink that
    // receives each line as it is made (called under the lock: keep it short).
    std::vector<std::string> trace() const;
    void setTraceSink(std::function<void(const std::string&)> sink);

    TrainerReport trainer() const;
    StickReport stick() const;
    const SimConfig& config() const;

private:
    struct Impl;
    mutable std::mutex mutex_;
    std::unique_ptr<Impl> impl_;
};

}  // namespace fota::sim
