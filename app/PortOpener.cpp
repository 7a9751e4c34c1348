#include "app/PortOpener.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <array>

#include "antlink/AntFrame.h"
#include "antlink/AntMessages.h"
#include "antlink/SerialTransport.h"

namespace fota::cli {

namespace {

constexpr std::uint8_t kMesgVersionId = 0x3E;
constexpr Duration kProbeTimeout = std::chrono::milliseconds(500);

class SimulatorLine final : public ant::ByteTransport {
public:
    explicit SimulatorLine(std::unique_ptr<ant::ByteTransport> line) : line_(std::move(line)) {}
    bool write(std::span<const std::uint8_t> bytes) override { return line_->write(bytes); }
    long read(std::span<std::uint8_t> buffer, std::stop_token stop, Duration deadline) override {
        return line_->read(buffer, stop, deadline);
    }
    void close() override { line_->close(); }
    std::string description() const override { return line_->description() + " (simulated stick)"; }
    bool isSimulated() const override { return true; }

private:
    std::unique_ptr<ant::ByteTransport> line_;
};

}  // namespace

bool IsPseudoTerminal(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) {
        return false;
    }
    // Unix98 pseudo-terminal slaves have the majors 136 to 143.
    const unsigned m = major(st.st_rdev);
    return m >= 136 && m <= 143;
}

bool AnswersAsSimulator(Clock& clock, ant::ByteTransport& line, Duration timeout) {
    if (!line.write(ant::requestMessage(0, kMesgVersionId))) {
        return false;
    }
    const Duration deadline = clock.now() + timeout;
    ant::FrameDecoder decoder;
    bool simulator = false;
    bool answered = false;
    std::stop_source never;
    std::array<std::uint8_t, 64> buffer{};
    while (!answered && clock.now() < deadline) {
        const long n = line.read(buffer, never.get_token(), deadline);
        if (n <= 0) {
            break;
        }
        decoder.feed(std::span(buffer.data(), static_cast<std::size_t>(n)),
                     [&](const ant::Frame& f) {
                         if (f.id != kMesgVersionId) {
                             return;
                         }
                         answered = true;
                         simulator = f.payload.size() >= 3 && f.payload[0] == 'S' &&
                                     f.payload[1] == 'I' && f.payload[2] == 'M';
                     });
    }
    return simulator;
}

std::unique_ptr<ant::ByteTransport> MarkAsSimulator(std::unique_ptr<ant::ByteTransport> line) {
    return std::make_unique<SimulatorLine>(std::move(line));
}

ant::TransportOpener PortOpener(Clock& clock, std::string path) {
    return [&clock, path = std::move(path)](ant::UCHAR, ant::ULONG baudrate) {
        ant::OpenedTransport opened = ant::SerialTransport::open(clock, path, baudrate);
        if (!opened.transport || !IsPseudoTerminal(path) ||
            !AnswersAsSimulator(clock, *opened.transport, kProbeTimeout)) {
            return opened;
        }
        return ant::OpenedTransport(MarkAsSimulator(std::move(opened.transport)));
    };
}

}  // namespace fota::cli
