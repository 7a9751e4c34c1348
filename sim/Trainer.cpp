#include "sim/Trainer.h"

#include <algorithm>
#include <cstdio>

#include "image/UFirmware.h"

namespace fota::sim {

namespace {

constexpr std::uint8_t kStatusPage = 0x01;
constexpr std::uint8_t kModeFirmware = 0;
constexpr std::uint8_t kModeBootloader = 1;
constexpr std::uint8_t kModeProgramming = 2;
constexpr std::string_view kBootloaderModel = "BOOT";

std::string describeAddress(std::uint16_t address) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "0x%04X", address);
    return buf;
}

}  // namespace

std::string hexBytes(std::span<const std::uint8_t> bytes) {
    std::string out;
    out.reserve(bytes.size() * 3);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        char buf[4];
        std::snprintf(buf, sizeof buf, i == 0 ? "%02X" : " %02X", bytes[i]);
        out += buf;
    }
    return out;
}

// ------------------------------------------------------- ProgrammingSession

std::vector<std::uint8_t> ProgrammingSession::assembled() const {
    std::vector<std::uint8_t> out;
    for (const auto& [address, bytes] : blocks) {
        out.insert(out.end(), bytes.begin(), bytes.end());
    }
    return out;
}

bool ProgrammingSession::contiguous() const {
    std::optional<std::uint32_t> end;
    for (const auto& [address, bytes] : blocks) {
        if (end && *end != address) {
            return false;
        }
        end = std::uint32_t{address} + static_cast<std::uint32_t>(bytes.size());
    }
    return true;
}

bool ProgrammingSession::holdsExactly(const BlockList& expected) const {
    if (expected.size() != blocks.size()) {
        return false;
    }
    for (const auto& [address, bytes] : expected) {
        const auto it = blocks.find(address);
        if (it == blocks.end() || it->second != bytes) {
            return false;
        }
    }
    return true;
}

// ------------------------------------------------------------------ Trainer

Trainer::Trainer(const TrainerConfig& config, const Faults& faults, TraceFn trace)
    : faults_(faults),
      model_(config.model),
      versionPageEvery_(config.versionPageEvery),
      trace_(std::move(trace)),
      version_(config.version),
      subVersion_(config.subVersion),
      unitType_(config.unitType),
      bootloaderSubVersion_(config.bootloaderSubVersion),
      zeroPosition_(config.zeroPosition),
      runsBootloader_(config.runsBootloader) {
    if (runsBootloader_) {
        version_ = 1;
        subVersion_ = bootloaderSubVersion_;
        unitType_ = bootloaderUnitType(model_);
    }
}

Trainer::Transmission Trainer::nextTransmission() {
    if (!replies_.empty()) {
        Transmission t = replies_.front();
        replies_.pop_front();
        ++counters_.pagesAnswered;
        return t;
    }
    ++counters_.broadcasts;
    ++broadcastCounter_;
    Transmission t;
    if (versionPageEvery_ != 0 && counters_.broadcasts % versionPageEvery_ == 0) {
        t.page = {0x11, version_, subVersion_, unitType_, 0, 0, 0, 0};
        t.kind = PageKind::VersionPage;
        return t;
    }
    const std::uint8_t mode = programming_      ? kModeProgramming
                              : runsBootloader_ ? kModeBootloader
                                                : kModeFirmware;
    t.page = {kStatusPage, mode, broadcastCounter_, 0, 0, 0, 0, 0};
    t.kind = PageKind::StatusPage;
    return t;
}

void Trainer::reply(const Page& page, PageKind kind, const std::string& what) {
    if (replies_.size() >= kMaxQueuedReplies) {
        ++counters_.repliesLost;
        trace_("trainer: reply queue full, " + what + " dropped");
        return;
    }
    replies_.push_back(Transmission{page, true, kind});
    trace_("trainer: " + what + " -> " + hexBytes(page));
}

ProgrammingSession* Trainer::session() {
    return (programming_ && !sessions_.empty()) ? &sessions_.back() : nullptr;
}

Trainer::Action Trainer::onAcknowledged(const Page& page) {
    if (silent()) {
        return Action::None;
    }
    ++counters_.requests;
    switch (classifyProgramPage(page, true)) {
        case PageKind::VersionRequest:
            reply({0x11, version_, subVersion_, unitType_, 0, 0, 0, 0}, PageKind::VersionReply,
                  "version request");
            break;
        case PageKind::UnitTypeRequest:
            reply({0x02, unitType_, 0, 0, 0, 0, 0, 0}, PageKind::ReadReply, "unit type read");
            break;
        case PageKind::ZeroPositionRead:
            reply({0x02, zeroPosition_, 0, 0, 0, 0, 0, 0}, PageKind::ReadReply,
                  "zero position read");
            break;
        case PageKind::ZeroPositionWrite:
            zeroPosition_ = page[4];
            ++counters_.zeroWrites;
            if (faults_.zeroWriteUnconfirmed) {
                trace_("trainer: zero position " + std::to_string(page[4]) +
                       " stored, confirmation withheld");
            } else {
                reply({0xFF, 0x03, 0, 0, 0, 0, 0, 0}, PageKind::CommandAck,
                      "zero position write " + std::to_string(page[4]));
            }
            break;
        case PageKind::ProgramStart: {
            const std::uint32_t size = (std::uint32_t{page[1]} << 16) |
                                       (std::uint32_t{page[2]} << 8) | std::uint32_t{page[3]};
            if (programming_ && !sessions_.empty()) {
                sessions_.back().outcome = ProgrammingSession::Outcome::Abandoned;
                sessions_.back().verdict = "a new program mode start came first";
            }
            if (sessions_.size() >= kMaxSessions) {
                sessions_.pop_front();
            }
            sessions_.emplace_back();
            sessions_.back().announcedBytes = size;
            blockNumbers_.clear();
            ackRequestsSeen_.clear();
            programming_ = true;
            trace_("trainer: programming mode, expecting " + std::to_string(size) + " bytes");
            break;
        }
        case PageKind::BlockAckRequest:
            blockAckRequest(static_cast<std::uint16_t>((page[1] << 8) | page[2]));
            break;
        case PageKind::ProgramExit:
            if (programming_ && page[1] == 0x01) {
                programming_ = false;
                trace_("trainer: program mode exit, restarting");
                return Action::Restart;
            }
            trace_("trainer: program mode exit outside programming mode ignored");
            break;
        default:
            trace_("trainer: ignored " + hexBytes(page));
            break;
    }
    return Action::None;
}

void Trainer::blockAckRequest(std::uint16_t address) {
    ProgrammingSession* s = session();
    const unsigned seen = ++ackRequestsSeen_[address];
    if (s == nullptr || !s->blocks.contains(address)) {
        trace_("trainer: block ack request for " + describeAddress(address) +
               ": no such block, no reply");
        return;
    }
    const auto number = blockNumbers_.find(address);
    const bool withheldBlock =
        number != blockNumbers_.end() &&
        std::find(faults_.withholdBlockAckFor.begin(), faults_.withholdBlockAckFor.end(),
                  number->second) != faults_.withholdBlockAckFor.end();
    const bool withheld =
        withheldBlock || faults_.blockAcks == Faults::BlockAcks::Withheld ||
        (faults_.blockAcks == Faults::BlockAcks::FirstRequestWithheld && seen == 1);
    if (withheld) {
        ++counters_.blockAcksWithheld;
        trace_("trainer: block ack for " + describeAddress(address) + " withheld");
        return;
    }
    reply({0x13, 0x00, static_cast<std::uint8_t>(address >> 8),
           static_cast<std::uint8_t>(address & 0xFF), 0, 0, 0, 0},
          PageKind::BlockAck, "block ack request " + describeAddress(address));
}

void Trainer::onBroadcast(const Page& page) {
    if (!silent()) {
        trace_("trainer: heard broadcast " + hexBytes(page));
    }
}

void Trainer::onBurstFailed() {
    ++counters_.burstsFailed;
    trace_("trainer: burst broke off, nothing kept");
}

void Trainer::onBurst(std::span<const Page> packets) {
    if (silent()) {
        return;
    }
    ++counters_.burstsReceived;
    if (!programming_) {
        ++counters_.burstsIgnored;
        trace_("trainer: burst of " + std::to_string(packets.size()) +
               " packets outside programming mode ignored");
        return;
    }
    acceptGroup(packets);
}

void Trainer::acceptGroup(std::span<const Page> packets) {
    auto reject = [&](const std::string& why) {
        ++counters_.blocksRejected;
        trace_("trainer: packet group rejected: " + why);
    };
    if (packets.empty()) {
        reject("empty burst");
        return;
    }
    const Page& h = packets[0];
    if (h[0] != kPacketGroupMark || h[7] != kPacketGroupMark) {
        reject("no header packet (" + hexBytes(h) + ")");
        return;
    }
    const std::size_t size = (std::size_t{h[1]} << 8) | h[2];
    const auto address = static_cast<std::uint16_t>((h[3] << 8) | h[4]);
    const auto crc = static_cast<std::uint16_t>((h[5] << 8) | h[6]);
    const std::size_t dataPackets = (size + 7) / 8;
    if (size > kMaxBlockBytes) {
        reject("block of " + std::to_string(size) + " bytes is too large");
        return;
    }
    if (packets.size() != dataPackets + 1) {
        reject("header announces " + std::to_string(size) + " bytes but " +
               std::to_string(packets.size() - 1) + " data packets came");
        return;
    }
    std::vector<std::uint8_t> bytes;
    bytes.reserve(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes.push_back(packets[1 + i / 8][i % 8]);
    }
    const std::uint16_t actual = BlockCrc(bytes);
    if (actual != crc) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "CRC 0x%04X in the header, 0x%04X over the bytes", crc,
                      actual);
        reject("block " + describeAddress(address) + ": " + buf);
        return;
    }
    ProgrammingSession& s = sessions_.back();
    if (!s.blocks.contains(address) && s.blocks.size() >= kMaxBlocks) {
        reject("too many blocks");
        return;
    }
    s.blocks[address] = std::move(bytes);
    blockNumbers_.try_emplace(address, static_cast<unsigned>(blockNumbers_.size() + 1));
    ++counters_.blocksAccepted;
    trace_("trainer: block " + describeAddress(address) + " of " + std::to_string(size) +
           " bytes accepted");
}

void Trainer::beginRestart() {
    restarting_ = true;
    counters_.repliesLost += static_cast<unsigned>(replies_.size());
    replies_.clear();
}

void Trainer::finishRestart() {
    restarting_ = false;
    ++counters_.restarts;
    ProgrammingSession* s = sessions_.empty() ? nullptr : &sessions_.back();
    std::optional<DemoHeader> header;
    std::string verdict;
    if (s == nullptr) {
        verdict = "nothing received";
    } else if (!s->contiguous()) {
        verdict = "the blocks leave a gap";
    } else {
        const std::vector<std::uint8_t> image = s->assembled();
        header = ParseDemoHeader(image);
        if (!header) {
            verdict = "no image header";
        } else if (image.size() != s->announcedBytes) {
            verdict = "received " + std::to_string(image.size()) + " bytes, " +
                      std::to_string(s->announcedBytes) + " announced";
            header.reset();
        } else if (!DemoImageComplete(*header, image)) {
            verdict = "image " + header->name + " incomplete or changed (" +
                      std::to_string(image.size()) + " of " + std::to_string(header->imageSize) +
                      " bytes, or a bad checksum)";
            header.reset();
        }
    }
    if (header && header->model == kBootloaderModel) {
        runsBootloader_ = true;
        version_ = 1;
        bootloaderSubVersion_ = header->subVersion;
        subVersion_ = header->subVersion;
        unitType_ = bootloaderUnitType(model_);
        verdict = "runs bootloader " + header->name;
    } else if (header) {
        runsBootloader_ = false;
        version_ = header->version;
        subVersion_ = header->subVersion;
        unitType_ = header->unitType != kKeepBootloaderUnitType ? header->unitType
                                                                : firmwareUnitType(model_);
        verdict = "runs firmware " + header->name;
    } else {
        runsBootloader_ = true;
        version_ = 1;
        subVersion_ = bootloaderSubVersion_;
        unitType_ = bootloaderUnitType(model_);
        verdict = "stays in its bootloader: " + verdict;
    }
    if (runsBootloader_ && faults_.faultyBootloader) {
        unitType_ = 255;
    }
    if (faults_.noUnitTypeAfterRestart) {
        subVersion_ = 0;
    }
    running_ = header;
    if (s != nullptr && s->outcome == ProgrammingSession::Outcome::Open) {
        s->outcome = !header ? ProgrammingSession::Outcome::StayedInBootloader
                     : header->model == kBootloaderModel
                         ? ProgrammingSession::Outcome::RanBootloader
                         : ProgrammingSession::Outcome::RanFirmware;
        s->verdict = verdict;
    }
    trace_("trainer: restarted, " + verdict + "; reports version " + std::to_string(version_) +
           ", sub-version " + std::to_string(subVersion_) + ", unit type " +
           std::to_string(unitType_));
}

void Trainer::disappear() {
    if (!gone_) {
        gone_ = true;
        counters_.repliesLost += static_cast<unsigned>(replies_.size());
        replies_.clear();
        trace_("trainer: gone");
    }
}

TrainerReport Trainer::report() const {
    TrainerReport r;
    r.version = version_;
    r.subVersion = subVersion_;
    r.unitType = unitType_;
    r.zeroPosition = zeroPosition_;
    r.runsBootloader = runsBootloader_;
    r.running = running_;
    r.programming = programming_;
    r.restarting = restarting_;
    r.gone = gone_;
    r.counters = counters_;
    r.sessions.assign(sessions_.begin(), sessions_.end());
    return r;
}

}  // namespace fota::sim
