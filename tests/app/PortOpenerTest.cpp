// --port: only a pseudo-terminal whose other end answers as the simulated
// stick counts as the simulator (demo images may go there); everything else
// is a real stick.

#include "app/PortOpener.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <deque>

#include "antlink/AntFrame.h"
#include "antlink/InProcessTransport.h"
#include "sim/Simulator.h"
#include "tests/app/CliRun.h"

using namespace fota;

namespace {

namespace fs = std::filesystem;

// A stick that answers any request with a version message, or nothing.
class ScriptedStick final : public ant::ByteTransport {
public:
    explicit ScriptedStick(std::optional<std::string> version) : version_(std::move(version)) {}
    bool write(std::span<const std::uint8_t>) override {
        if (version_) {
            const std::vector<std::uint8_t> payload(version_->begin(), version_->end());
            const auto frame = ant::encodeFrame(0x3E, payload);
            pending_.insert(pending_.end(), frame.begin(), frame.end());
        }
        return true;
    }
    long read(std::span<std::uint8_t> buffer, std::stop_token, Duration) override {
        if (pending_.empty()) {
            return 0;  // the deadline passed
        }
        std::size_t n = 0;
        while (n < buffer.size() && !pending_.empty()) {
            buffer[n++] = pending_.front();
            pending_.pop_front();
        }
        return static_cast<long>(n);
    }
    void close() override {}
    std::string description() const override { return "scripted"; }

private:
    std::optional<std::string> version_;
    std::deque<std::uint8_t> pending_;
};

TEST(PortOpener, OnlyTheSimulatedStickAnswersAsTheSimulator) {
    VirtualClock clock;
    const struct {
        std::optional<std::string> version;
        bool simulator;
    } cases[] = {
        {std::string("SIM1.00\0", 8), true},
        {std::string("AP2USB1.05\0", 11), false},
        {std::string("SI"), false},
        {std::nullopt, false},  // no answer
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.version.value_or("<silent>"));
        ScriptedStick stick(c.version);
        EXPECT_EQ(cli::AnswersAsSimulator(clock, stick, std::chrono::milliseconds(500)),
                  c.simulator);
    }
}

TEST(PortOpener, TheRealSimulatorIsRecognised) {
    VirtualClock clock;
    ant::InProcessLine line(clock);
    sim::Simulator simulator(clock, line);
    auto program = line.programEnd();
    EXPECT_TRUE(cli::AnswersAsSimulator(clock, *program, std::chrono::milliseconds(500)));
    const auto marked = cli::MarkAsSimulator(std::move(program));
    EXPECT_TRUE(marked->isSimulated());
}

TEST(PortOpener, PseudoTerminalsAreToldApart) {
    EXPECT_FALSE(cli::IsPseudoTerminal("/dev/null"));
    EXPECT_FALSE(cli::IsPseudoTerminal("/nonexistent"));
    const auto file = fota::testing::TestFolder() / "regular";
    { std::ofstream(file) << "x"; }
    EXPECT_FALSE(cli::IsPseudoTerminal(file.string()));

    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const char* slave = ::ptsname(master);
    ASSERT_NE(slave, nullptr);
    EXPECT_TRUE(cli::IsPseudoTerminal(slave));
    ::close(master);
    fs::remove_all(file.parent_path());
}

}  // namespace
