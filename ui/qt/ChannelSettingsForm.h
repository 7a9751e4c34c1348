#pragma once
// The channel settings dialog (a service dialog): the ANT link's parameters
// typed and stored into the main window's channel fields by OK. It is created
// once, hidden, and shown without blocking by the hidden "Config Channel"
// control; it keeps what the user left in its boxes.

#include <QDialog>
#include <array>

#include "ui/ChannelSettings.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QTabWidget;

namespace fota {
class TMainForm;
}

namespace fota::qt {

class TForm2 : public QDialog {
    Q_OBJECT
public:
    explicit TForm2(TMainForm& mainForm, QWidget* parent = nullptr);

    // The texts of the boxes that OK reads.
    ChannelSettingsTexts texts() const;

    void Btn_OKClick();
    void Btn_CancelClick();

    QTabWidget* PageControl1 = nullptr;
    QComboBox* Edt_Baudrate = nullptr;
    QLineEdit* Edt_NetworkNumber = nullptr;
    std::array<QLineEdit*, 8> Edt_NetworkKey{};
    QLineEdit* Edt_RFChannel = nullptr;
    QLineEdit* Edt_TransmissionType = nullptr;
    QLineEdit* Edt_DeviceType = nullptr;
    QLineEdit* Edt_DeviceNumber = nullptr;
    QLineEdit* Edt_MessagePeriod = nullptr;
    QCheckBox* Chk_EnableTrasmission = nullptr;
    QCheckBox* chk_TransmittAlways = nullptr;
    QCheckBox* chk_RandomLastByte = nullptr;
    QCheckBox* Chb_NewProtocol = nullptr;
    QLineEdit* Edt_HWVersion = nullptr;
    QLineEdit* Edt_SWVersion = nullptr;
    QLineEdit* Edit3 = nullptr;
    QLineEdit* Edt_TrainerDeviceNumber = nullptr;
    QPushButton* Btn_OK = nullptr;
    QPushButton* Btn_Cancel = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    TMainForm& mainForm_;
    bool enterPressed_ = false;
};

}  // namespace fota::qt
