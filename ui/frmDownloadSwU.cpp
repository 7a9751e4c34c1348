#include "ui/frmDownloadSwU.h"

#include "platform/MakerInfo.h"

namespace fota {

std::string DownloadAddress(std::int32_t unitType) {
    switch (unitType) {
        case 9:
        case 14:
            return maker::kInstallerKov;
        case 11:
        case 16:
            return maker::kInstallerPu;
        case 12:
        case 15:
            return maker::kInstallerLo;
        case 13:
        case 17:
            return maker::kInstallerWek;
        default:
            return kNoDownloadAddress;
    }
}

DownloadSwTexts DownloadSwTextsFor(std::int32_t unitType) {
    DownloadSwTexts t;
    t.address = DownloadAddress(unitType);
    t.downloadLink =
        "<a href=\"" + t.address + "\">Click here to download the installation software.</a>";
    t.copyLink = "<a href=\"" + t.address + "\">Copy to clipborad the download link.</a>";
    t.directLink = "DIRECT LINK -->  " + t.address;
    return t;
}

}  // namespace fota
