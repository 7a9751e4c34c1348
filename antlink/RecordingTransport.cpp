#include "antlink/RecordingTransport.h"

#include <chrono>
#include <cstdio>
#include <ctime>

namespace fota::ant {

namespace {

// Seconds with nine decimals: a replay on the virtual clock then meets every
// recorded moment exactly.
std::string Seconds(Duration d) {
    const auto ns = d.count();
    char text[40];
    std::snprintf(text, sizeof text, "%lld.%09lld", static_cast<long long>(ns / 1000000000),
                  static_cast<long long>(ns % 1000000000));
    return text;
}

std::string Utc(std::chrono::system_clock::time_point t) {
    const std::time_t s = std::chrono::system_clock::to_time_t(t);
    std::tm tm{};
    gmtime_r(&s, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return text;
}

}  // namespace

LineRecorder::LineRecorder(Clock& clock, const std::string& path)
    : clock_(clock), out_(path, std::ios::out | std::ios::trunc) {
    if (!out_) {
        error_ = "cannot write the recording " + path;
        return;
    }
    out_ << "# fota line recording 1\n"
         << "# started " << Utc(clock_.wallNow()) << "\n";
    out_.flush();
}

bool LineRecorder::ok() const {
    std::lock_guard lock(mutex_);
    return error_.empty() && static_cast<bool>(out_);
}

void LineRecorder::line(const std::string& kind, std::span<const std::uint8_t> bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string text = kind + " " + Seconds(clock_.now());
    text.reserve(text.size() + 3 * bytes.size() + 1);
    for (const std::uint8_t b : bytes) {
        text += ' ';
        text += kHex[b >> 4];
        text += kHex[b & 0x0F];
    }
    text += '\n';
    std::lock_guard lock(mutex_);
    if (!out_) {
        return;
    }
    // Each line reaches the file at once: a recording of a program that
    // crashed is the one most worth having.
    out_ << text;
    out_.flush();
}

void LineRecorder::opened(const std::string& description, bool simulated) {
    {
        std::lock_guard lock(mutex_);
        lost_ = false;
    }
    std::string text = "open " + Seconds(clock_.now()) + (simulated ? " simulated " : " real ");
    for (const char c : description) {
        text += (c == '\n' || c == '\r') ? ' ' : c;
    }
    std::lock_guard lock(mutex_);
    if (out_) {
        out_ << text << "\n";
        out_.flush();
    }
}

void LineRecorder::written(std::span<const std::uint8_t> bytes) {
    line(">", bytes);
}

void LineRecorder::read(std::span<const std::uint8_t> bytes) {
    line("<", bytes);
}

void LineRecorder::lost(const char* direction) {
    {
        std::lock_guard lock(mutex_);
        if (lost_) {
            return;
        }
        lost_ = true;
    }
    const std::string text = "lost " + Seconds(clock_.now()) + " " + direction + "\n";
    std::lock_guard lock(mutex_);
    if (out_) {
        out_ << text;
        out_.flush();
    }
}

void LineRecorder::closed() {
    line("close");
}

RecordingTransport::RecordingTransport(std::unique_ptr<ByteTransport> inner,
                                       std::shared_ptr<LineRecorder> recorder)
    : inner_(std::move(inner)), recorder_(std::move(recorder)) {
    recorder_->opened(inner_->description(), inner_->isSimulated());
}

RecordingTransport::~RecordingTransport() {
    close();
}

bool RecordingTransport::write(std::span<const std::uint8_t> bytes) {
    recorder_->written(bytes);
    const bool ok = inner_->write(bytes);
    if (!ok) {
        recorder_->lost("write");
    }
    return ok;
}

long RecordingTransport::read(std::span<std::uint8_t> buffer, std::stop_token stop,
                              Duration deadline) {
    const long n = inner_->read(buffer, stop, deadline);
    if (n > 0) {
        recorder_->read(buffer.first(static_cast<std::size_t>(n)));
    } else if (n < 0) {
        recorder_->lost("read");
    }
    return n;
}

void RecordingTransport::close() {
    std::call_once(closed_, [this] { recorder_->closed(); });
    inner_->close();
}

std::string RecordingTransport::description() const {
    return inner_->description();
}

bool RecordingTransport::isSimulated() const {
    return inner_->isSimulated();
}

TransportOpener recordingOpener(TransportOpener inner, const std::string& path, Clock& clock) {
    auto recorder = std::make_shared<LineRecorder>(clock, path);
    return [inner = std::move(inner), recorder](UCHAR device, ULONG baudrate) -> OpenedTransport {
        if (!recorder->ok()) {
            return OpenedTransport::failure(recorder->error());
        }
        OpenedTransport opened = inner ? inner(device, baudrate) : OpenedTransport{};
        if (!opened.transport) {
            return opened;
        }
        return std::make_unique<RecordingTransport>(std::move(opened.transport), recorder);
    };
}

}  // namespace fota::ant
