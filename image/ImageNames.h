#pragma once
// The names of the images the program carries: two bootloaders and one
// firmware image per trainer model and controller class ("FW_", model code,
// "_", controller class). Every build embeds exactly these.

#include <array>
#include <string_view>

namespace fota {

inline constexpr std::array<std::string_view, 29> kImageNames = {
    "BOOTLOADER64",  "BOOTLOADER128",                                 //
    "FW_KOV_64",     "FW_KOV_128",    "FW_KOV_128B",  "FW_KOV_256",   //
    "FW_PU_64",      "FW_PU_128",     "FW_PU_128B",   "FW_PU_256",    //
    "FW_LO_64",      "FW_LO_128",     "FW_LO_128B",   "FW_LO_256",    //
    "FW_WEK_64",     "FW_WEK_128",    "FW_WEK_128B",  "FW_WEK_256",   //
    "FW_DUF_64",     "FW_DUF_128",    "FW_DUF_128B",  "FW_DUF_256",   //
    "FW_TOBE_64",    "FW_TOBE_128",   "FW_TOBE_128B", "FW_TOBE_256",  //
    "FW_GILNO_128B", "FW_GILNO_256",                                  //
    "FW_MUSEK_256",
};

}  // namespace fota
