#pragma once
// What a trainer maker changes when it builds this program for its own
// trainers: support address, company name, installer addresses. Kept in one
// place; every address here is under a reserved documentation domain.

namespace fota::maker {

inline constexpr const char* kSupportEmail = "support@trainer-maker.example";
inline constexpr const char* kCompanyName = "Trainer Maker";
inline constexpr const char* kWebSite = "https://www.trainer-maker.example/";

// The training software's installer, one per trainer model, offered by the
// software-download dialog after an upgrade.
inline constexpr const char* kInstallerKov = "https://dl.trainer-maker.example/kov";
inline constexpr const char* kInstallerPu = "https://dl.trainer-maker.example/pu";
inline constexpr const char* kInstallerLo = "https://dl.trainer-maker.example/lo";
inline constexpr const char* kInstallerWek = "https://dl.trainer-maker.example/wek";

// The target of the main window's service link ("SomeLink").
inline constexpr const char* kServiceLink = kWebSite;

}  // namespace fota::maker
