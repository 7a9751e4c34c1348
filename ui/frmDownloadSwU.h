#pragma once
// The software-download dialog's content: after an upgrade the trainer speaks
// the ANT+ FE-C profile, and the training software on the computer must be
// updated; the dialog offers that software's installer for the trainer's model.

#include <cstdint>
#include <string>

namespace fota {

// What the dialog shows in place of an address for an unknown unit type.
inline constexpr const char* kNoDownloadAddress = "NOT AVAILABLE";

// The installer address for a unit type (9/14 KOV, 11/16 PU, 12/15 LO,
// 13/17 WEK), or kNoDownloadAddress.
std::string DownloadAddress(std::int32_t unitType);

// The three texts built from the address.
struct DownloadSwTexts {
    std::string address;
    std::string downloadLink;  // mark-up of the link that opens the address
    std::string copyLink;      // mark-up of the link that copies it
    std::string directLink;    // plain text
};

DownloadSwTexts DownloadSwTextsFor(std::int32_t unitType);

}  // namespace fota
