#include "ui/qt/ChannelSettingsForm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>

#include "ui/ConfigForm.h"

namespace fota::qt {

namespace {

QLineEdit* edit(QWidget* parent, const char* name, const std::string& text) {
    auto* e = new QLineEdit(QString::fromStdString(text), parent);
    e->setObjectName(name);
    return e;
}

QLabel* label(const char* text, QWidget* parent) {
    return new QLabel(text, parent);
}

}  // namespace

TForm2::TForm2(TMainForm& mainForm, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint), mainForm_(mainForm) {
    setObjectName("Form2");
    setWindowTitle("Form2");
    setFixedSize(450, 381);

    const ChannelSettingsTexts initial;

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName("PageControl1");
    PageControl1->setGeometry(8, 8, 434, 328);

    // ---- "Computer"
    auto* computer = new QWidget;
    computer->setObjectName("TabSheetComputer");
    auto* grid = new QGridLayout(computer);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(5);

    Edt_Baudrate = new QComboBox(computer);
    Edt_Baudrate->setObjectName("Edt_Baudrate");
    Edt_Baudrate->setEditable(true);
    Edt_Baudrate->setInsertPolicy(QComboBox::NoInsert);
    Edt_Baudrate->addItems({"1200", "2400", "4800", "9600", "19200", "38400", "50000", "57600"});
    Edt_Baudrate->setCurrentIndex(-1);
    Edt_Baudrate->setMinimumWidth(110);
    Edt_Baudrate->setEditText(QString::fromStdString(initial.baudrate));
    grid->addWidget(label("Baudrate:", computer), 0, 0);
    grid->addWidget(Edt_Baudrate, 0, 1);

    Edt_NetworkNumber = edit(computer, "Edt_NetworkNumber", "0");
    grid->addWidget(label("Network Number:", computer), 0, 2);
    grid->addWidget(Edt_NetworkNumber, 0, 3);

    grid->addWidget(label("Channel Type:", computer), 1, 0);

    auto* keyRow = new QHBoxLayout;
    keyRow->setSpacing(3);
    for (std::size_t i = 0; i < Edt_NetworkKey.size(); ++i) {
        const std::string name = "Edt_NetworkKey" + std::to_string(i);
        Edt_NetworkKey[i] = edit(computer, name.c_str(), initial.networkKey[i]);
        Edt_NetworkKey[i]->setFixedWidth(34);
        keyRow->addWidget(Edt_NetworkKey[i]);
    }
    keyRow->addStretch();
    grid->addWidget(label("Network key (dec):", computer), 2, 0);
    grid->addLayout(keyRow, 2, 1, 1, 3);

    Edt_RFChannel = edit(computer, "Edt_RFChannel", initial.rfChannel);
    Edt_TransmissionType = edit(computer, "Edt_TransmissionType", initial.transmissionType);
    grid->addWidget(label("RF Channel:", computer), 3, 0);
    grid->addWidget(Edt_RFChannel, 3, 1);
    grid->addWidget(label("Trensmission type:", computer), 3, 2);
    grid->addWidget(Edt_TransmissionType, 3, 3);

    Edt_DeviceType = edit(computer, "Edt_DeviceType", initial.deviceType);
    Edt_DeviceNumber = edit(computer, "Edt_DeviceNumber", initial.deviceNumber);
    grid->addWidget(label("Device Type:", computer), 4, 0);
    grid->addWidget(Edt_DeviceType, 4, 1);
    grid->addWidget(label("Device Number:", computer), 4, 2);
    grid->addWidget(Edt_DeviceNumber, 4, 3);

    Edt_MessagePeriod = edit(computer, "Edt_MessagePeriod", initial.messagePeriod);
    grid->addWidget(label("Message Period:", computer), 5, 0);
    grid->addWidget(Edt_MessagePeriod, 5, 1);

    Chk_EnableTrasmission = new QCheckBox("Enable Trasmission", computer);
    Chk_EnableTrasmission->setObjectName("Chk_EnableTrasmission");
    Chk_EnableTrasmission->setChecked(true);
    chk_TransmittAlways = new QCheckBox("Transmit always", computer);
    chk_TransmittAlways->setObjectName("chk_TransmittAlways");
    chk_TransmittAlways->setToolTip(
        "The console transmitts only when a command is sent to the console (i.e. changed the "
        "power or level).");
    chk_RandomLastByte = new QCheckBox("Random last byte", computer);
    chk_RandomLastByte->setObjectName("chk_RandomLastByte");
    Chb_NewProtocol = new QCheckBox("New Protocol", computer);
    Chb_NewProtocol->setObjectName("Chb_NewProtocol");
    Chb_NewProtocol->setChecked(true);
    grid->addWidget(Chk_EnableTrasmission, 6, 0, 1, 2);
    grid->addWidget(chk_TransmittAlways, 6, 2, 1, 2);
    grid->addWidget(chk_RandomLastByte, 7, 0, 1, 2);
    grid->addWidget(Chb_NewProtocol, 7, 2, 1, 2);
    connect(Chk_EnableTrasmission, &QCheckBox::toggled, chk_TransmittAlways, &QWidget::setEnabled);

    Edt_HWVersion = edit(computer, "Edt_HWVersion", "5");
    Edt_SWVersion = edit(computer, "Edt_SWVersion", "8");
    grid->addWidget(label("Hardware v:", computer), 8, 0);
    grid->addWidget(Edt_HWVersion, 8, 1);
    grid->addWidget(label("Software v.:", computer), 8, 2);
    grid->addWidget(Edt_SWVersion, 8, 3);

    Edit3 = edit(computer, "Edit3", "987");
    grid->addWidget(label("HR dev. num.:", computer), 9, 0);
    grid->addWidget(Edit3, 9, 1);
    grid->setRowStretch(10, 1);
    PageControl1->addTab(computer, "Computer");

    // ---- "Trainer"
    auto* trainer = new QWidget;
    trainer->setObjectName("TabSheetTrainer");
    auto* trainerGrid = new QGridLayout(trainer);
    Edt_TrainerDeviceNumber = edit(trainer, "Edt_TrainerDeviceNumber", "54321");
    trainerGrid->addWidget(label("Trainer Dev. Number:", trainer), 0, 0);
    trainerGrid->addWidget(Edt_TrainerDeviceNumber, 0, 1);
    trainerGrid->setColumnStretch(2, 1);
    trainerGrid->setRowStretch(1, 1);
    PageControl1->addTab(trainer, "Trainer");
    PageControl1->setCurrentIndex(0);

    // Enter is handled on its release (below), never by a default button.
    Btn_OK = new QPushButton("OK", this);
    Btn_OK->setObjectName("Btn_OK");
    Btn_OK->setAutoDefault(false);
    Btn_OK->setGeometry(286, 346, 75, 25);
    Btn_Cancel = new QPushButton("Cancel", this);
    Btn_Cancel->setObjectName("Btn_Cancel");
    Btn_Cancel->setAutoDefault(false);
    Btn_Cancel->setGeometry(367, 346, 75, 25);
    connect(Btn_OK, &QPushButton::clicked, this, &TForm2::Btn_OKClick);
    connect(Btn_Cancel, &QPushButton::clicked, this, &TForm2::Btn_CancelClick);

    // The dialog sees the keys before its boxes do.
    for (QWidget* child : findChildren<QWidget*>()) {
        child->installEventFilter(this);
    }
    installEventFilter(this);
}

ChannelSettingsTexts TForm2::texts() const {
    ChannelSettingsTexts t;
    t.baudrate = Edt_Baudrate->currentText().toStdString();
    for (std::size_t i = 0; i < Edt_NetworkKey.size(); ++i) {
        t.networkKey[i] = Edt_NetworkKey[i]->text().toStdString();
    }
    t.rfChannel = Edt_RFChannel->text().toStdString();
    t.transmissionType = Edt_TransmissionType->text().toStdString();
    t.deviceType = Edt_DeviceType->text().toStdString();
    t.deviceNumber = Edt_DeviceNumber->text().toStdString();
    t.messagePeriod = Edt_MessagePeriod->text().toStdString();
    return t;
}

void TForm2::Btn_OKClick() {
    if (const auto error = StoreChannelSettings(texts(), mainForm_)) {
        QMessageBox box(QMessageBox::Critical, "FOTA", QString::fromStdString(*error),
                        QMessageBox::Ok, this);
        box.setTextFormat(Qt::PlainText);
        box.exec();
        return;
    }
    hide();
}

void TForm2::Btn_CancelClick() {
    hide();
}

bool TForm2::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
        auto* key = static_cast<QKeyEvent*>(event);
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        if (enter && !key->isAutoRepeat()) {
            // A release whose press went elsewhere (the press that closed an
            // error box, say) is not a new OK.
            if (event->type() == QEvent::KeyPress) {
                enterPressed_ = true;
            } else if (enterPressed_) {
                enterPressed_ = false;
                Btn_OKClick();
                return true;
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TForm2::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    enterPressed_ = false;
    if (!parentWidget()) {
        if (const QScreen* screen = this->screen()) {
            QRect box = frameGeometry();
            box.moveCenter(screen->availableGeometry().center());
            move(box.topLeft());
        }
    }
}

}  // namespace fota::qt
