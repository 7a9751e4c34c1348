#include "antlink/ReplayTransport.h"

#include "platform/Convert.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace fota::ant {

// ------------------------------------------------------------------ parsing

namespace {

// "S" or "S.F" with up to 9 decimals, exactly, to the nanosecond.
bool ParseTime(const std::string& text, Duration& out) {
    const auto dot = text.find('.');
    const std::string whole = text.substr(0, dot);
    const std::string part = dot == std::string::npos ? "" : text.substr(dot + 1);
    auto digits = [](const std::string& s) {
        return std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    // Under 10^9 s (31 years): far beyond any session, and the nanoseconds
    // stay well inside a signed 64-bit count (10 digits would not).
    if (whole.empty() || whole.size() > 9 || part.size() > 9 || !digits(whole) || !digits(part) ||
        (dot != std::string::npos && part.empty())) {
        return false;
    }
    long long ns = std::stoll(whole) * 1000000000LL;
    long long scale = 100000000LL;
    for (const char c : part) {
        ns += (c - '0') * scale;
        scale /= 10;
    }
    out = Duration(ns);
    return true;
}

// "text" in quotes (built by appending: GCC 12 at -O3 warns falsely about
// prepending to a temporary string).
std::string Quoted(const std::string& text) {
    std::string q = "\"";
    q += text;
    q += '"';
    return q;
}

std::string Seconds(Duration d) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", std::chrono::duration<double>(d).count());
    return text;
}

// Up to `count` bytes from `from`, as "A4 01 4F ...".
std::string Hex(const std::vector<std::uint8_t>& bytes, std::size_t from, std::size_t count = 16) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string s;
    const std::size_t end = std::min(bytes.size(), from + count);
    for (std::size_t i = from; i < end; ++i) {
        if (!s.empty()) {
            s += ' ';
        }
        s += kHex[bytes[i] >> 4];
        s += kHex[bytes[i] & 0x0F];
    }
    if (end < bytes.size()) {
        s += " ...";
    }
    return s.empty() ? "nothing" : s;
}

}  // namespace

bool Recording::parse(std::istream& in, Recording& out, std::string& error) {
    out = {};
    std::string text;
    int lineNo = 0;
    Duration openedAt{};
    std::size_t programBytes = 0;  // ">" bytes of the current session so far
    auto fail = [&](const std::string& why) {
        error = "line " + std::to_string(lineNo) + ": " + why;
        return false;
    };
    while (std::getline(in, text)) {
        ++lineNo;
        if (!text.empty() && text.back() == '\r') {
            text.pop_back();
        }
        if (text.empty() || text[0] == '#') {
            continue;
        }
        std::istringstream fields(text);
        std::string kind, time;
        fields >> kind >> time;
        Duration t{};
        if (!ParseTime(time, t)) {
            return fail("expected a time in seconds after \"" + kind + "\"");
        }
        if (kind == "open") {
            std::string mode;
            fields >> mode;
            if (mode != "simulated" && mode != "real") {
                return fail("expected \"simulated\" or \"real\" after the time of \"open\"");
            }
            Session s;
            s.simulated = mode == "simulated";
            std::getline(fields >> std::ws, s.description);
            s.line = lineNo;
            out.sessions.push_back(std::move(s));
            openedAt = t;
            programBytes = 0;
            continue;
        }
        if (out.sessions.empty()) {
            return fail(Quoted(kind) + " before the first \"open\"");
        }
        Session& s = out.sessions.back();
        const Duration since = t >= openedAt ? t - openedAt : Duration{0};
        if (kind == "close") {
            continue;
        }
        if (kind == "lost") {
            std::string direction;
            fields >> direction;
            if (direction != "read" && direction != "write") {
                return fail("expected \"read\" or \"write\" after the time of \"lost\"");
            }
            if (!s.lost) {
                s.lost = true;
                s.lostAt = since;
                s.lostAfterChunks = s.chunks.size();
            }
            continue;
        }
        if (kind != "<" && kind != ">") {
            return fail("unknown record \"" + kind.substr(0, 16) + "\"");
        }
        Chunk c;
        c.fromStick = kind == "<";
        c.at = since;
        c.line = lineNo;
        std::string byte;
        while (fields >> byte) {
            if (byte.size() != 2 || HexDigitValue(byte[0]) < 0 || HexDigitValue(byte[1]) < 0) {
                return fail(Quoted(byte.substr(0, 8)) + " is not a byte in two hex digits");
            }
            c.bytes.push_back(
                static_cast<std::uint8_t>(HexDigitValue(byte[0]) * 16 + HexDigitValue(byte[1])));
        }
        if (c.bytes.empty()) {
            return fail("no bytes after the time");
        }
        c.programBefore = programBytes;
        if (!c.fromStick) {
            programBytes += c.bytes.size();
        }
        s.chunks.push_back(std::move(c));
    }
    if (out.sessions.empty()) {
        error = "the recording holds no \"open\"";
        return false;
    }
    return true;
}

// ------------------------------------------------------------------- replay

struct Replay::State {
    struct Progress {
        const Recording::Session* session = nullptr;
        std::vector<std::uint8_t> program;     // every ">" byte, in order
        std::vector<std::size_t> programLine;  // the file line of each of them
        std::size_t written = 0;               // program bytes seen so far
        std::size_t chunk = 0;                 // the next chunk to look at for stick bytes
        std::size_t offset = 0;                // bytes of it already delivered
        Duration openedAt{};
        bool closed = false;
        bool failed = false;  // the line failed: as recorded, or on a difference
    };

    Clock* clock = nullptr;
    const Recording* recording = nullptr;
    std::mutex mutex;
    std::vector<Progress> sessions;  // one per opening so far
    std::string mismatch;
    std::size_t extraOpens = 0;

    // Under the mutex: the line is over for this session.
    bool dead(std::size_t s) const {
        return sessions[s].failed || sessions[s].closed || !mismatch.empty();
    }
};

namespace {

class ReplayTransport final : public ByteTransport {
public:
    ReplayTransport(std::shared_ptr<Replay::State> state, std::size_t index)
        : state_(std::move(state)), index_(index) {}
    ~ReplayTransport() override { close(); }

    bool write(std::span<const std::uint8_t> bytes) override {
        const Duration now = state_->clock->now();  // not under our lock: see opener()
        {
            std::lock_guard lock(state_->mutex);
            auto& p = state_->sessions[index_];
            if (state_->dead(index_)) {
                return false;
            }
            for (std::size_t i = 0; i < bytes.size(); ++i) {
                const std::size_t at = p.written + i;
                if (at >= p.program.size() || p.program[at] != bytes[i]) {
                    noteDifference(p, bytes, i, now);
                    break;
                }
            }
            if (state_->mismatch.empty()) {
                p.written += bytes.size();
            }
        }
        state_->clock->notify();
        std::lock_guard lock(state_->mutex);
        return state_->mismatch.empty();
    }

    long read(std::span<std::uint8_t> buffer, std::stop_token stop, Duration deadline) override {
        Clock& clock = *state_->clock;
        auto deadNow = [this] {
            std::lock_guard lock(state_->mutex);
            return state_->dead(index_);
        };
        for (;;) {
            // What comes next from the stick: its time and what must be written first.
            bool exists = false;
            bool lostNext = false;
            Duration due{};
            std::size_t need = 0;
            {
                std::lock_guard lock(state_->mutex);
                auto& p = state_->sessions[index_];
                if (state_->dead(index_)) {
                    return -1;
                }
                const auto& chunks = p.session->chunks;
                while (p.chunk < chunks.size() && !chunks[p.chunk].fromStick &&
                       !(p.session->lost && p.chunk >= p.session->lostAfterChunks)) {
                    ++p.chunk;
                }
                if (p.session->lost && p.chunk >= p.session->lostAfterChunks) {
                    exists = lostNext = true;
                    due = p.openedAt + p.session->lostAt;
                    need = 0;
                    for (std::size_t k = 0; k < p.session->lostAfterChunks; ++k) {
                        need += chunks[k].fromStick ? 0 : chunks[k].bytes.size();
                    }
                } else if (p.chunk < chunks.size()) {
                    exists = true;
                    due = p.openedAt + chunks[p.chunk].at;
                    need = chunks[p.chunk].programBefore;
                }
            }
            if (!exists) {
                // The recording has nothing more from the stick: quiet until the end.
                clock.waitUntil(deadline, deadNow, stop);
                return deadNow() ? -1 : 0;
            }
            if (clock.now() < due) {
                const WaitResult r = clock.waitUntil(std::min(deadline, due), deadNow, stop);
                if (r == WaitResult::Stopped) {
                    return 0;
                }
                if (deadNow()) {
                    return -1;
                }
                if (clock.now() < due) {
                    return 0;  // the caller's deadline came first
                }
            }
            auto written = [this, need] {
                std::lock_guard lock(state_->mutex);
                return state_->dead(index_) || state_->sessions[index_].written >= need;
            };
            const WaitResult r = clock.waitUntil(deadline, written, stop);
            if (r != WaitResult::Ready) {
                return 0;
            }
            std::lock_guard lock(state_->mutex);
            auto& p = state_->sessions[index_];
            if (state_->dead(index_)) {
                return -1;
            }
            if (lostNext) {
                p.failed = true;  // as recorded: the stick went away here
                return -1;
            }
            const auto& chunk = p.session->chunks[p.chunk];
            const std::size_t n = std::min(buffer.size(), chunk.bytes.size() - p.offset);
            std::copy_n(chunk.bytes.begin() + static_cast<long>(p.offset), n, buffer.begin());
            p.offset += n;
            if (p.offset == chunk.bytes.size()) {
                p.offset = 0;
                ++p.chunk;
            }
            return static_cast<long>(n);
        }
    }

    void close() override {
        {
            std::lock_guard lock(state_->mutex);
            state_->sessions[index_].closed = true;
        }
        state_->clock->notify();
    }

    std::string description() const override {
        std::lock_guard lock(state_->mutex);
        return "replay of " + state_->sessions[index_].session->description;
    }
    bool isSimulated() const override {
        std::lock_guard lock(state_->mutex);
        return state_->sessions[index_].session->simulated;
    }

private:
    // Under the mutex: the program's write differs from the recording at bytes[i].
    void noteDifference(Replay::State::Progress& p, std::span<const std::uint8_t> bytes,
                        std::size_t i, Duration now) {
        const std::size_t at = p.written + i;
        const std::vector<std::uint8_t> wrote(bytes.begin(), bytes.end());
        std::string m = "opening " + std::to_string(index_ + 1) + ", program byte " +
                        std::to_string(at) + " at " + Seconds(now - p.openedAt) + " s: ";
        if (at >= p.program.size()) {
            m += "the program wrote more than the recording holds (" +
                 std::to_string(p.program.size()) + " bytes); it wrote " + Hex(wrote, i);
        } else {
            m += "the recording (line " + std::to_string(p.programLine[at]) + ") has " +
                 Hex(p.program, at) + ", the program wrote " + Hex(wrote, i);
        }
        state_->mismatch = m;
    }

    std::shared_ptr<Replay::State> state_;
    std::size_t index_;
};

}  // namespace

bool Replay::load(const std::string& path) {
    std::ifstream in(path);
    if (!in) {
        error_ = "cannot read " + path;
        return false;
    }
    if (!load(in)) {
        error_ = path + ": " + error_;
        return false;
    }
    return true;
}

bool Replay::load(std::istream& in) {
    error_.clear();
    return Recording::parse(in, recording_, error_);
}

TransportOpener Replay::opener(Clock& clock) {
    state_ = std::make_shared<State>();
    state_->clock = &clock;
    state_->recording = &recording_;
    return [state = state_](UCHAR, ULONG) -> OpenedTransport {
        // The clock's lock is never taken under ours: a clock waiter's ready()
        // takes ours under the clock's.
        const Duration now = state->clock->now();
        std::lock_guard lock(state->mutex);
        const std::size_t index = state->sessions.size();
        if (index >= state->recording->sessions.size()) {
            ++state->extraOpens;
            return OpenedTransport::failure("the recording holds no further opening of the stick");
        }
        State::Progress p;
        p.session = &state->recording->sessions[index];
        for (const auto& c : p.session->chunks) {
            if (!c.fromStick) {
                p.program.insert(p.program.end(), c.bytes.begin(), c.bytes.end());
                p.programLine.insert(p.programLine.end(), c.bytes.size(),
                                     static_cast<std::size_t>(c.line));
            }
        }
        p.openedAt = now;
        state->sessions.push_back(std::move(p));
        return std::make_unique<ReplayTransport>(state, index);
    };
}

std::string Replay::mismatch() const {
    if (!state_) {
        return {};
    }
    std::lock_guard lock(state_->mutex);
    return state_->mismatch;
}

std::string Replay::verdict() const {
    if (!state_) {
        return "the recording was never opened";
    }
    std::lock_guard lock(state_->mutex);
    if (!state_->mismatch.empty()) {
        return state_->mismatch;
    }
    if (state_->extraOpens > 0) {
        return "the program opened the stick " +
               std::to_string(state_->sessions.size() + state_->extraOpens) +
               " times; the recording holds " + std::to_string(recording_.sessions.size()) +
               " openings";
    }
    if (state_->sessions.size() < recording_.sessions.size()) {
        return "the program opened the stick " + std::to_string(state_->sessions.size()) +
               " times; the recording holds " + std::to_string(recording_.sessions.size()) +
               " openings";
    }
    for (std::size_t s = 0; s < state_->sessions.size(); ++s) {
        const auto& p = state_->sessions[s];
        if (p.written < p.program.size()) {
            return "opening " + std::to_string(s + 1) + ": the program wrote " +
                   std::to_string(p.written) + " of the " + std::to_string(p.program.size()) +
                   " bytes recorded; the next (line " + std::to_string(p.programLine[p.written]) +
                   ") would be " + Hex(p.program, p.written);
        }
    }
    return {};
}

}  // namespace fota::ant
