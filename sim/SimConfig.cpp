#include "sim/SimConfig.h"

#include <algorithm>

namespace fota::sim {

namespace {

struct ModelInfo {
    Model model;
    std::string_view code;
    std::uint8_t bootloaderUnit;
    std::uint8_t firmwareUnit;
};

constexpr ModelInfo kModels[] = {
    {Model::KOV, "KOV", 9, 14},      {Model::PU, "PU", 11, 16},       {Model::LO, "LO", 12, 15},
    {Model::WEK, "WEK", 13, 17},     {Model::DUF, "DUF", 10, 18},     {Model::TOBE, "TOBE", 10, 19},
    {Model::GILNO, "GILNO", 10, 20}, {Model::MUSEK, "MUSEK", 10, 20},
};

const ModelInfo& info(Model model) {
    for (const auto& m : kModels) {
        if (m.model == model) {
            return m;
        }
    }
    return kModels[0];
}

}  // namespace

std::string_view modelCode(Model model) {
    return info(model).code;
}

std::optional<Model> modelFromCode(std::string_view code) {
    for (const auto& m : kModels) {
        if (m.code == code) {
            return m.model;
        }
    }
    return std::nullopt;
}

std::uint8_t bootloaderUnitType(Model model) {
    return info(model).bootloaderUnit;
}

std::uint8_t firmwareUnitType(Model model) {
    return info(model).firmwareUnit;
}

Duration periodDuration(std::uint16_t period) {
    // Rounded once to whole nanoseconds; every slot time is a multiple of it,
    // so the trainer's and the stick's schedules meet exactly.
    constexpr std::int64_t kNanosPerSecond = 1'000'000'000;
    return Duration((std::int64_t{period} * kNanosPerSecond + 16384) / 32768);
}

std::string_view toString(PageKind kind) {
    switch (kind) {
        case PageKind::Any:
            return "any page";
        case PageKind::VersionRequest:
            return "version request";
        case PageKind::UnitTypeRequest:
            return "unit type request";
        case PageKind::ZeroPositionRead:
            return "zero position read";
        case PageKind::ZeroPositionWrite:
            return "zero position write";
        case PageKind::ProgramStart:
            return "program mode start";
        case PageKind::BlockAckRequest:
            return "block ack request";
        case PageKind::ProgramExit:
            return "program mode exit";
        case PageKind::OtherRequest:
            return "other request";
        case PageKind::Broadcast:
            return "broadcast";
        case PageKind::StatusPage:
            return "status page";
        case PageKind::VersionPage:
            return "version page";
        case PageKind::VersionReply:
            return "version reply";
        case PageKind::ReadReply:
            return "read reply";
        case PageKind::CommandAck:
            return "command ack";
        case PageKind::BlockAck:
            return "block ack";
    }
    return "?";
}

PageKind classifyProgramPage(const Page& page, bool acknowledged) {
    if (!acknowledged) {
        return PageKind::Broadcast;
    }
    switch (page[0]) {
        case 0x11:
            return PageKind::VersionRequest;
        case 0x02:
            if (page[1] == 0x10) {
                return PageKind::UnitTypeRequest;
            }
            if (page[1] == 0x1D) {
                return PageKind::ZeroPositionRead;
            }
            return PageKind::OtherRequest;
        case 0x03:
            return page[1] == 0x1D ? PageKind::ZeroPositionWrite : PageKind::OtherRequest;
        case 0x10:
            return PageKind::ProgramStart;
        case 0x13:
            return PageKind::BlockAckRequest;
        case 0x14:
            return PageKind::ProgramExit;
        default:
            return PageKind::OtherRequest;
    }
}

bool Pick::picks(unsigned ordinal, std::mt19937& rng) const {
    bool picked = every || std::find(nth.begin(), nth.end(), ordinal) != nth.end();
    if (fraction > 0.0) {
        // Not std::uniform_real_distribution: its draws differ between
        // standard libraries, and a seed must give the same run everywhere.
        const double draw = static_cast<double>(rng()) / 4294967296.0;
        picked = picked || draw < fraction;
    }
    return picked;
}

}  // namespace fota::sim
