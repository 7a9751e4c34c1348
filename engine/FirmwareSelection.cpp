#include "engine/FirmwareSelection.h"

#include <algorithm>
#include <array>
#include <string>

#include "engine/FOTAComponent.h"
#include "log/EventLog.h"

namespace fota {

namespace {

template <std::size_t N>
bool oneOf(std::int32_t v, const std::array<std::int32_t, N>& set) {
    return std::find(set.begin(), set.end(), v) != set.end();
}

enum Class { k256, k64, k128, k128B, kNone };

// Rule A: a trainer in its bootloader (version 1); sub-version 85 names the
// 64K controller, 86 the 128K one.
std::string bootloaderRule(std::int32_t S, std::uint8_t U) {
    const char* model = nullptr;
    switch (U) {
        case 9:
            model = "KOV";
            break;
        case 11:
            model = "PU";
            break;
        case 12:
            model = "LO";
            break;
        case 13:
            model = "WEK";
            break;
        default:
            return {};
    }
    return std::string("FW_") + model + (S == 85 ? "_64" : "_128");
}

// Rule B4: the firmware of a model (unit types 14 to 19) for a controller class.
std::string firmwareRule(std::uint8_t U, Class c) {
    const char* model = nullptr;
    switch (U) {
        case 14:
            model = "KOV";
            break;
        case 15:
            model = "LO";
            break;
        case 16:
            model = "PU";
            break;
        case 17:
            model = "WEK";
            break;
        case 18:
            model = "DUF";
            break;
        case 19:
            model = "TOBE";
            break;
        default:
            return {};
    }
    static const char* const suffix[] = {"_256", "_64", "_128", "_128B"};
    return std::string("FW_") + model + suffix[c];
}

}  // namespace

bool Is256Micro(std::int32_t V) {
    return oneOf(V, std::array<std::int32_t, 4>{129, 130, 132, 134});
}

bool Is64Micro(std::int32_t V) {
    return oneOf(V, std::array<std::int32_t, 7>{112, 116, 117, 120, 121, 122, 123});
}

bool IsNotBluetooth128(std::int32_t V) {
    return oneOf(V, std::array<std::int32_t, 10>{94, 95, 96, 99, 107, 113, 114, 118, 124, 127});
}

bool IsBluetooth128B(std::int32_t V) {
    return oneOf(V, std::array<std::int32_t, 19>{97, 98, 100, 101, 102, 103, 104, 105, 106, 108,
                                                 109, 110, 111, 115, 119, 125, 126, 131, 133});
}

bool NeedsMusekUpgrade(std::int32_t V) {
    return V <= 27;
}

bool TFOTAThread::SelectFirmware() {
    WriteLog("Select Firmware to send");
    const std::int32_t V = FFrimwareVersion;
    const std::int32_t S = FFirmwareSubVersion;
    const std::uint8_t U = FUnitType;
    std::string name;

    if (V == 1) {
        if (S == 85 || S == 86) {
            name = bootloaderRule(S, U);
            SetState(psfProgrammingFirmware);
        }
    } else {
        SetState(psfProgrammingBoot);
        if (U == 20) {
            if (!NeedsMusekUpgrade(V)) {
                WriteLog("Firmware Already Updated!!!!");
                SetState(psfAlreadyUpdated);
                return false;
            }
            name = "FW_MUSEK_256";
            WriteLog("FFirmwareName:= " + name + " - Musek Upgrade -");
            SetState(psfProgrammingFirmware);
        } else if (V <= 82 || V == 87) {
            name = "BOOTLOADER64";
        } else if (V <= 94) {
            name = "BOOTLOADER128";
        } else {
            Class c = kNone;
            if (Is256Micro(V)) {
                WriteLog("is256Micro.");
                c = k256;
            } else if (Is64Micro(V)) {
                WriteLog("is64Micro.");
                c = k64;
            } else if (IsNotBluetooth128(V)) {
                WriteLog("isNOTBluetooth (micr0128)");
                c = k128;
            } else if (IsBluetooth128B(V)) {
                WriteLog("isBluetooth (micr0128B)");
                c = k128B;
            }
            if (c == kNone) {
                SetState(psfNoNewFirmwareFound);
                AbortUpgrade("Starting firmware version non available!!! [psfNoNewFirmwareFound] ");
                return false;
            }
            name = firmwareRule(U, c);
            WriteLog("FFirmwareName := " + name);
            SetState(psfProgrammingFirmware);
        }
    }

    if (name.empty()) {
        if (V >= 95) {
            WriteLog("Firmware Already Updated!!!!");
            SetState(psfAlreadyUpdated);
        } else {
            WriteLog("Upgrade not avalaible!!!!");
            SetState(psfUpgradeNotPossible);
        }
        return false;
    }
    std::lock_guard lock(FNameLock);
    FFirmwareName = name;
    return true;
}

}  // namespace fota
