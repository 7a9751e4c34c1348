#include "antlink/InProcessTransport.h"

#include <algorithm>

namespace fota::ant {

struct InProcessLine::Shared {
    explicit Shared(Clock& c) : clock(c) {}
    Clock& clock;
    std::mutex mutex;
    std::deque<std::uint8_t> toStick;
    std::deque<std::uint8_t> toProgram;
    bool broken = false;
    bool programClosed = false;
    bool stickClosed = false;
    unsigned programGeneration = 0;  // which program end is the current one
};

namespace {

class End final : public ByteTransport {
public:
    End(std::shared_ptr<InProcessLine::Shared> shared, bool programSide, unsigned generation)
        : shared_(std::move(shared)), programSide_(programSide), generation_(generation) {}
    ~End() override { close(); }

    bool write(std::span<const std::uint8_t> bytes) override {
        {
            std::lock_guard lock(shared_->mutex);
            if (failed()) {
                return false;
            }
            auto& out = programSide_ ? shared_->toStick : shared_->toProgram;
            out.insert(out.end(), bytes.begin(), bytes.end());
        }
        shared_->clock.notify();
        return true;
    }

    long read(std::span<std::uint8_t> buffer, std::stop_token stop, Duration deadline) override {
        if (buffer.empty()) {
            return 0;
        }
        auto& in = programSide_ ? shared_->toProgram : shared_->toStick;
        const WaitResult r = shared_->clock.waitUntil(
            deadline,
            [&] {
                std::lock_guard lock(shared_->mutex);
                return !in.empty() || failed();
            },
            stop);
        std::lock_guard lock(shared_->mutex);
        if (!in.empty()) {
            const std::size_t n = std::min(buffer.size(), in.size());
            std::copy_n(in.begin(), n, buffer.begin());
            in.erase(in.begin(), in.begin() + static_cast<long>(n));
            return static_cast<long>(n);
        }
        if (r != WaitResult::Ready && !failed()) {
            return 0;
        }
        return -1;
    }

    void close() override {
        {
            std::lock_guard lock(shared_->mutex);
            if (!programSide_) {
                shared_->stickClosed = true;
            } else if (generation_ == shared_->programGeneration) {
                shared_->programClosed = true;  // an older program end closing changes nothing
            } else {
                stale_ = true;
            }
        }
        shared_->clock.notify();
    }

    std::string description() const override {
        return programSide_ ? "simulated stick" : "simulated stick (stick side)";
    }
    bool isSimulated() const override { return true; }

private:
    // Under the mutex: this end is closed, the other end closed, or the line broken.
    bool failed() const {
        const bool staleEnd = programSide_ && generation_ != shared_->programGeneration;
        return stale_ || staleEnd || shared_->broken || shared_->programClosed ||
               shared_->stickClosed;
    }

    std::shared_ptr<InProcessLine::Shared> shared_;
    bool programSide_;
    unsigned generation_;
    bool stale_ = false;
};

}  // namespace

InProcessLine::InProcessLine(Clock& clock) : shared_(std::make_shared<Shared>(clock)) {}

std::unique_ptr<ByteTransport> InProcessLine::programEnd() {
    unsigned generation = 0;
    {
        std::lock_guard lock(shared_->mutex);
        shared_->programClosed = false;
        shared_->toProgram.clear();
        shared_->toStick.clear();
        generation = ++shared_->programGeneration;
    }
    return std::make_unique<End>(shared_, true, generation);
}

std::unique_ptr<ByteTransport> InProcessLine::stickEnd() {
    return std::make_unique<End>(shared_, false, 0);
}

void InProcessLine::unplug() {
    {
        std::lock_guard lock(shared_->mutex);
        shared_->broken = true;
    }
    shared_->clock.notify();
}

bool InProcessLine::unplugged() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->broken;
}

}  // namespace fota::ant
