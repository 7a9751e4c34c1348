#pragma once
// The software-download dialog shown after an upgrade: the training software
// must be updated too, and here is its installer for the trainer's model.

#include <QDialog>
#include <cstdint>

class QLabel;
class QPushButton;

namespace fota::qt {

class TfrmDownloadSw : public QDialog {
    Q_OBJECT
public:
    explicit TfrmDownloadSw(QWidget* owner = nullptr);

    // The trainer's unit type; set it before showing the dialog.
    std::int32_t FUnitType = 0;

    // Builds the texts from FUnitType (also done at every showing).
    void FormCreate();

    QLabel* lblTitle = nullptr;
    QLabel* lblText = nullptr;
    QLabel* lnkDownload = nullptr;  // opens the address
    QLabel* lnkCopy = nullptr;      // copies the address to the clipboard
    QLabel* lblDirectLink = nullptr;
    QPushButton* btnClose = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
};

}  // namespace fota::qt
