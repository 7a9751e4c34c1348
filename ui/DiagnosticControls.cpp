// The main window's service controls: single test pages to the trainer, the
// software-download dialog, and the trainer-type switch of the device number.

#include <algorithm>

#include "antlink/ANTCommands.h"
#include "protocol/FotaPages.h"
#include "ui/ConfigForm.h"

namespace fota {

namespace {
constexpr std::uint8_t kChannel = 0;
}

void TMainForm::Button2Click() {
    const auto page = SelectConsolePage{}.encode();
    std::copy(page.begin(), page.end(), aucTxBuf.begin());
    antLibrary->ANT_SendBroadcastData(kChannel, aucTxBuf.data());
    Log("ANT_SendBroadcastData Select Console");
}

void TMainForm::Button3Click() {
    const auto page = MaxResistancePage{}.encode();
    std::copy(page.begin(), page.end(), aucTxBuf.begin());
    antLibrary->ANT_SendBroadcastData(kChannel, aucTxBuf.data());
    Log("ANT_SendBroadcastData MAX Resistance");
}

void TMainForm::Button5Click() {
    const auto page = VersionRequest{}.encode();
    std::copy(page.begin(), page.end(), aucTxBuf.begin());
    WaitProcessingMessages(500);
    antLibrary->ANT_SendAcknowledgedData(kChannel, aucTxBuf.data());
    Log("ANT_SendBroadcastData Request Firmware Version (FOTA)");
}

void TMainForm::btn1Click() {
    port_.ShowDownloadDialog(9);
}

void TMainForm::cmbTipoTrainerChange(const std::string& text) {
    cmbTipoTrainer = text;
    if (text == "Console") {
        txtDeviceNumber = ConsoleDeviceNumber;
    } else if (text == "Mova") {
        txtDeviceNumber = TrainerDeviceNumber;
    }
}

void TMainForm::WaitProcessingMessages(std::int64_t ms) {
    // The time base is monotonic: it cannot wrap as a tick counter can.
    const Duration start = clock->now();
    const Duration end = start + std::chrono::milliseconds(ms);
    for (;;) {
        port_.ProcessMessages();
        const Duration now = clock->now();
        if (now >= end) {
            return;
        }
        clock->sleepFor(std::min<Duration>(std::chrono::milliseconds(10), end - now));
    }
}

}  // namespace fota
