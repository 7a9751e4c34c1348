#pragma once
// Records every byte that crosses the stick's line, each direction and time
// stamped, as text (the format is described in docs/recording.md):
//
//     # fota line recording 1
//     # started 2026-12-10T13:40:00Z
//     open 0.000000000 simulated simulated stick
//     > 0.003000000 A4 01 4A 00 EF
//     < 0.006000000 A4 01 6F 20 EA
//     lost 12.500000000 read
//     close 200.000000000
//
// ">" is what the program wrote (recorded before it is handed to the line),
// "<" what the program read from the stick; times are seconds of the
// program's clock since the recording began. A program that opens the stick
// again (a second start) adds another "open" to the same file.
//
// To record: wrap the program's transport opener,
//
//     library = AntSerialLibrary(clock, ant::recordingOpener(opener, "session.rec", clock));
//
// ReplayTransport plays such a file back to the program.

#include <fstream>
#include <memory>
#include <mutex>
#include <span>
#include <string>

#include "antlink/ByteTransport.h"
#include "antlink/TransportOpener.h"
#include "platform/Clock.h"

namespace fota::ant {

// The file one program run records into; shared by the transports it opens.
class LineRecorder {
public:
    // Creates (truncates) the file; check ok() and error().
    LineRecorder(Clock& clock, const std::string& path);

    bool ok() const;
    const std::string& error() const { return error_; }

    void opened(const std::string& description, bool simulated);
    void written(std::span<const std::uint8_t> bytes);
    void read(std::span<const std::uint8_t> bytes);
    // The line failed: "read" or "write".
    void lost(const char* direction);
    void closed();

private:
    void line(const std::string& kind, std::span<const std::uint8_t> bytes = {});

    Clock& clock_;
    mutable std::mutex mutex_;
    std::ofstream out_;
    std::string error_;
    bool lost_ = false;  // one "lost" line per open
};

// A transport that records what crosses it into a LineRecorder.
class RecordingTransport final : public ByteTransport {
public:
    RecordingTransport(std::unique_ptr<ByteTransport> inner,
                       std::shared_ptr<LineRecorder> recorder);
    ~RecordingTransport() override;

    bool write(std::span<const std::uint8_t> bytes) override;
    long read(std::span<std::uint8_t> buffer, std::stop_token stop,
              Duration deadline = kForever) override;
    void close() override;
    std::string description() const override;
    bool isSimulated() const override;

private:
    std::unique_ptr<ByteTransport> inner_;
    std::shared_ptr<LineRecorder> recorder_;
    std::once_flag closed_;
};

// The hook for `--record FILE`: an opener that opens through `inner` and
// records the line into `path` (created when the recording begins, before the
// first open). When the file cannot be written, every open fails with a
// message that says so.
TransportOpener recordingOpener(TransportOpener inner, const std::string& path, Clock& clock);

}  // namespace fota::ant
