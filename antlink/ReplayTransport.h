#pragma once
// Plays a line recording (RecordingTransport, docs/recording.md) back to the
// program in place of a stick.
//
// Each "open" of the recording is one opening of the stick. Within it, the
// stick's bytes ("<") reach the program at their recorded times, counted from
// the open, and never before the program has written everything that was
// recorded ahead of them (a stick answers what it was told). What the program
// writes is checked byte for byte against the recorded ">" bytes; at the first
// difference the replay notes where and what, and the line fails for the
// program (as an unplugged stick would), so the run ends soon after.
//
//     ant::Replay replay;
//     ASSERT_TRUE(replay.load("tests/replay/clean.rec")) << replay.error();
//     AntSerialLibrary library(clock, replay.opener(clock));
//     ... run the program ...
//     EXPECT_EQ(replay.verdict(), "") ;   // empty: the program said what was recorded

#include <cstdint>
#include <istream>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "antlink/ByteTransport.h"
#include "antlink/TransportOpener.h"
#include "platform/Clock.h"

namespace fota::ant {

// A parsed recording.
struct Recording {
    struct Chunk {
        bool fromStick = false;  // "<"; otherwise ">" (written by the program)
        Duration at{};           // since the open
        std::vector<std::uint8_t> bytes;
        int line = 0;                   // in the file, for messages
        std::size_t programBefore = 0;  // program bytes recorded before this chunk
    };
    struct Session {
        bool simulated = false;
        std::string description;
        int line = 0;
        std::vector<Chunk> chunks;
        bool lost = false;  // the line failed for the program ("lost")
        Duration lostAt{};
        std::size_t lostAfterChunks = 0;  // chunks before the "lost" line
    };
    std::vector<Session> sessions;

    // Parses the text format; false with a message naming the line.
    static bool parse(std::istream& in, Recording& out, std::string& error);
};

class Replay {
public:
    Replay() = default;
    Replay(const Replay&) = delete;
    Replay& operator=(const Replay&) = delete;

    bool load(const std::string& path);
    bool load(std::istream& in);
    const std::string& error() const { return error_; }
    const Recording& recording() const { return recording_; }

    // The opener the program's ANT library uses: each call opens the next
    // session of the recording.
    TransportOpener opener(Clock& clock);

    // Empty when everything the program wrote matched the recording and it
    // wrote all of it; otherwise the first difference, in words.
    std::string verdict() const;
    // The first difference only (empty while none was seen).
    std::string mismatch() const;

    // Bookkeeping of the sessions, shared with their transports.
    struct State;

private:
    Recording recording_;
    std::string error_;
    std::shared_ptr<State> state_;
};

}  // namespace fota::ant
