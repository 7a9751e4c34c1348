#include "sim/SimOptions.h"

#include <cctype>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdlib>

namespace fota::sim {

const char* const kSimTrainerOptionsHelp =
    R"(  --model CODE              KOV PU LO WEK DUF TOBE GILNO MUSEK (default KOV)
  --version N               firmware version it reports (default 90)
  --subversion N            sub-version it reports (default 0)
  --unit-type N             unit type it reports (default: that of the model's
                            firmware)
  --bootloader              it runs its bootloader: version 1, the bootloader
                            sub-version and unit type of its model
  --bootloader-subversion N 85 (64K controller) or 86 (default)
  --zero-position N         its stored zero position (default 10)
  --restart-ms N            silence after program mode exit (default 4000)
  --version-page-every N    broadcast a version page every N pages (default 0:
                            never)
)";

const char* const kSimFaultOptionsHelp =
    R"(  --seed N                  seed of every random fault (default 1)
  --drop-to-trainer F       share of the program's pages the trainer never hears
  --drop-from-trainer F     share of the trainer's pages the stick never hears
  --fail-acked F            share of acknowledged sends whose acknowledgement
                            is lost
  --fail-burst N            the N-th burst fails half-way (repeatable)
  --withhold-block-acks first|always
                            the first request for each block goes unanswered,
                            or every one does
  --withhold-block-ack N    the N-th accepted block is never acknowledged
                            (repeatable)
  --disappear-after-requests N | --disappear-after-blocks N | --disappear-at-exit
                            the trainer goes silent for good at that moment
  --faulty-bootloader       its bootloader reports unit type 255
  --no-unit-type-after-restart
                            after a restart its version reply has no unit type
  --zero-write-unconfirmed  a zero position write is stored, never acknowledged
  --line-garbage F          share of the stick's messages preceded by garbage
  --line-corrupt F          share of the stick's messages with a wrong checksum
  --vanish-after-blocks N   the stick is pulled out after the N-th block
)";

std::optional<unsigned> UnsignedArgument(std::string_view text) {
    unsigned value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end) {
        return std::nullopt;
    }
    return value;
}

std::optional<double> RealArgument(std::string_view text) {
    // strtod would skip leading white space.
    if (text.empty() || std::isspace(static_cast<unsigned char>(text.front()))) {
        return std::nullopt;
    }
    // strtod wants a terminated string; from_chars for double is missing from
    // some standard libraries still in use.
    const std::string s(text);
    char* end = nullptr;
    const double v = std::strtod(s.c_str(), &end);
    if (end != s.c_str() + s.size() || !std::isfinite(v)) {
        return std::nullopt;
    }
    return v;
}

bool SimOptionReader::read(const std::string& a, ArgWalker& args,
                           std::optional<std::string>& error) {
    TrainerConfig& trainer = config_.trainer;
    Faults& faults = config_.faults;
    auto byte = [&](std::uint8_t& out) {
        const auto v = args.value();
        const auto n = v ? UnsignedArgument(*v) : std::nullopt;
        if (!n || *n > 255) {
            error = a + " needs a number from 0 to 255";
            return;
        }
        out = static_cast<std::uint8_t>(*n);
    };
    // A whole number from `min` up; 0 when it is wrong.
    auto count = [&](unsigned min) -> unsigned {
        const auto v = args.value();
        const auto n = v ? UnsignedArgument(*v) : std::nullopt;
        if (!n || *n < min) {
            error = a + " needs a whole number from " + std::to_string(min) + " up";
            return 0;
        }
        return *n;
    };
    auto share = [&](double& out) {
        const auto v = args.value();
        const auto f = v ? RealArgument(*v) : std::nullopt;
        if (!f || *f < 0.0 || *f > 1.0) {
            error = a + " needs a share from 0 to 1";
            return;
        }
        out = *f;
    };

    if (a == "--model") {
        const auto v = args.value();
        const auto model = v ? modelFromCode(*v) : std::nullopt;
        if (model) {
            trainer.model = *model;
        } else {
            error = "--model needs one of KOV PU LO WEK DUF TOBE GILNO MUSEK";
        }
    } else if (a == "--version") {
        byte(trainer.version);
    } else if (a == "--subversion") {
        byte(trainer.subVersion);
    } else if (a == "--unit-type") {
        byte(trainer.unitType);
        unitTypeGiven_ = true;
    } else if (a == "--bootloader") {
        trainer.runsBootloader = true;
    } else if (a == "--bootloader-subversion") {
        byte(trainer.bootloaderSubVersion);
    } else if (a == "--zero-position") {
        byte(trainer.zeroPosition);
    } else if (a == "--restart-ms") {
        trainer.restartTime = std::chrono::milliseconds(count(0));
    } else if (a == "--version-page-every") {
        trainer.versionPageEvery = count(0);
    } else if (a == "--seed") {
        config_.seed = count(0);
    } else if (a == "--drop-to-trainer") {
        share(faults.dropToTrainer[PageKind::Any].fraction);
    } else if (a == "--drop-from-trainer") {
        share(faults.dropFromTrainer[PageKind::Any].fraction);
    } else if (a == "--fail-acked") {
        share(faults.failAckedSends.fraction);
    } else if (a == "--fail-burst") {
        faults.failBursts.nth.push_back(count(1));
    } else if (a == "--withhold-block-acks") {
        const auto v = args.value();
        if (v == "first") {
            faults.blockAcks = Faults::BlockAcks::FirstRequestWithheld;
        } else if (v == "always") {
            faults.blockAcks = Faults::BlockAcks::Withheld;
        } else {
            error = "--withhold-block-acks needs first or always";
        }
    } else if (a == "--withhold-block-ack") {
        faults.withholdBlockAckFor.push_back(count(1));
    } else if (a == "--disappear-after-requests") {
        faults.disappear = When::afterRequests(count(1));
    } else if (a == "--disappear-after-blocks") {
        faults.disappear = When::afterBlocks(count(1));
    } else if (a == "--disappear-at-exit") {
        faults.disappear = When::atProgramExit();
    } else if (a == "--faulty-bootloader") {
        faults.faultyBootloader = true;
    } else if (a == "--no-unit-type-after-restart") {
        faults.noUnitTypeAfterRestart = true;
    } else if (a == "--zero-write-unconfirmed") {
        faults.zeroWriteUnconfirmed = true;
    } else if (a == "--line-garbage") {
        share(faults.lineGarbage);
    } else if (a == "--line-corrupt") {
        share(faults.lineCorrupt);
    } else if (a == "--vanish-after-blocks") {
        faults.stickVanishes = When::afterBlocks(count(1));
    } else {
        return false;
    }
    any_ = true;
    return true;
}

void SimOptionReader::finish() {
    if (!unitTypeGiven_) {
        config_.trainer.unitType = firmwareUnitType(config_.trainer.model);
    }
}

}  // namespace fota::sim
