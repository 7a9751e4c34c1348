// The channel settings dialog on real widgets: what OK stores, where it stops
// on a text that is no integer, Enter released as OK, the check-box coupling.

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include "platform/Clock.h"
#include "tests/gui/ModalAnswerer.h"
#include "tests/ui/Fakes.h"
#include "ui/ConfigForm.h"
#include "ui/qt/ChannelSettingsForm.h"

using namespace fota;
using namespace fota::testing;
using fota::qt::TForm2;

namespace {

// The channel fields OK writes, as one comparable text.
QString Fields(const TMainForm& f) {
    QStringList key;
    for (int i = 0; i < 8; ++i) {
        key << QString::number(f.NetworkKey[i]);
    }
    return QString(
               "Baudrate=%1 ChannelType=%2 NetworkKey=%3 RFChannel=%4 TransmissionType=%5 "
               "DeviceType=%6 DeviceNumber=%7 MessagePeriod=%8")
        .arg(f.Baudrate)
        .arg(f.ChannelType)
        .arg(key.join(','))
        .arg(f.RFChannel)
        .arg(f.TransmissionType)
        .arg(f.DeviceType)
        .arg(f.DeviceNumber)
        .arg(f.MessagePeriod);
}

struct Fixture {
    Fixture() {
        // Values none of the rows produce, so that what OK left alone shows.
        form.Baudrate = 1;
        form.ChannelType = 0;
        form.NetworkKey.fill(0);
        form.RFChannel = 2;
        form.TransmissionType = 3;
        form.DeviceType = 4;
        form.DeviceNumber = 5;
        form.MessagePeriod = 6;
        dialog.show();
    }
    RealClock clock;
    RecordingPort port;
    ScriptedAntLibrary library;
    TMainForm form{port, library, clock};
    TForm2 dialog{form};
    ModalAnswerer answers;
};

const QString kUntouched =
    "Baudrate=1 ChannelType=0 NetworkKey=0,0,0,0,0,0,0,0 RFChannel=2 TransmissionType=3 "
    "DeviceType=4 DeviceNumber=5 MessagePeriod=6";
const QString kDefaults =
    "Baudrate=57600 ChannelType=16 NetworkKey=78,111,114,118,111,75,101,121 RFChannel=57 "
    "TransmissionType=1 DeviceType=121 DeviceNumber=12345 MessagePeriod=16172";

}  // namespace

class ChannelSettingsTest : public QObject {
    Q_OBJECT

private slots:
    void initialContent() {
        Fixture f;
        QCOMPARE(f.dialog.windowTitle(), QString("Form2"));
        QCOMPARE(f.dialog.size(), QSize(450, 381));
        QCOMPARE(f.dialog.PageControl1->count(), 2);
        QCOMPARE(f.dialog.PageControl1->tabText(0), QString("Computer"));
        QCOMPARE(f.dialog.PageControl1->tabText(1), QString("Trainer"));
        QCOMPARE(f.dialog.PageControl1->currentIndex(), 0);
        QCOMPARE(f.dialog.Edt_Baudrate->currentText(), QString("Edt_Baudrate"));
        QCOMPARE(f.dialog.Edt_Baudrate->currentIndex(), -1);
        QCOMPARE(f.dialog.Edt_Baudrate->count(), 8);
        QCOMPARE(f.dialog.Edt_Baudrate->itemText(7), QString("57600"));
        QStringList key;
        for (QLineEdit* e : f.dialog.Edt_NetworkKey) {
            key << e->text();
        }
        // The same key the "Duf" trainer type sends.
        QStringList expected;
        for (std::uint8_t b : kDefaultNetworkKey) {
            expected << QString::number(b);
        }
        QCOMPARE(key, expected);
        QVERIFY(f.dialog.Chk_EnableTrasmission->isChecked());
        QVERIFY(!f.dialog.chk_TransmittAlways->isChecked());
        QVERIFY(f.dialog.chk_TransmittAlways->isEnabled());
        QVERIFY(f.dialog.Chb_NewProtocol->isChecked());
        QCOMPARE(f.dialog.Edt_TrainerDeviceNumber->text(), QString("54321"));
    }

    void ok_data() {
        QTest::addColumn<QStringList>("typed");  // "box=text", in order
        QTest::addColumn<QString>("error");      // "" when OK succeeds
        QTest::addColumn<QString>("fields");

        QTest::newRow("untouched: the baud rate box is no number")
            << QStringList{} << "'Edt_Baudrate' is not a valid integer value" << kUntouched;
        QTest::newRow("57600 chosen: every row stored")
            << QStringList{"Edt_Baudrate=57600"} << "" << kDefaults;
        QTest::newRow("key bytes keep their low bits")
            << QStringList{"Edt_Baudrate=57600", "Edt_NetworkKey0=256", "Edt_NetworkKey1=-1"} << ""
            << "Baudrate=57600 ChannelType=16 NetworkKey=0,255,114,118,111,75,101,121 "
               "RFChannel=57 TransmissionType=1 DeviceType=121 DeviceNumber=12345 "
               "MessagePeriod=16172";
        QTest::newRow("hexadecimal with $, 0x and x")
            << QStringList{"Edt_Baudrate=$E100", "Edt_DeviceNumber=$FF", "Edt_RFChannel=0x39",
                           "Edt_MessagePeriod=x3F2C"}
            << "" << QString(kDefaults).replace("DeviceNumber=12345", "DeviceNumber=255");
        QTest::newRow("narrow fields: 300 in 8 bits, 70000 in 16 bits")
            << QStringList{"Edt_Baudrate=57600", "Edt_RFChannel=300", "Edt_MessagePeriod=70000",
                           "Edt_DeviceNumber=-2"}
            << ""
            << "Baudrate=57600 ChannelType=16 NetworkKey=78,111,114,118,111,75,101,121 "
               "RFChannel=44 TransmissionType=1 DeviceType=121 DeviceNumber=-2 "
               "MessagePeriod=4464";
        QTest::newRow("device type no number: stops there")
            << QStringList{"Edt_Baudrate=57600", "Edt_DeviceType=abc", "Edt_DeviceNumber=7"}
            << "'abc' is not a valid integer value"
            << "Baudrate=57600 ChannelType=16 NetworkKey=78,111,114,118,111,75,101,121 "
               "RFChannel=57 TransmissionType=1 DeviceType=4 DeviceNumber=5 MessagePeriod=6";
        QTest::newRow("a trailing space is no number")
            << QStringList{"Edt_Baudrate=57600", "Edt_NetworkKey3=7 "}
            << "'7 ' is not a valid integer value"
            << "Baudrate=57600 ChannelType=16 NetworkKey=78,111,114,0,0,0,0,0 RFChannel=2 "
               "TransmissionType=3 DeviceType=4 DeviceNumber=5 MessagePeriod=6";
        QTest::newRow("an empty box is no number")
            << QStringList{"Edt_Baudrate=57600", "Edt_MessagePeriod="}
            << "'' is not a valid integer value"
            << QString(kDefaults).replace("MessagePeriod=16172", "MessagePeriod=6");
        QTest::newRow("decimal beyond 32 bits")
            << QStringList{"Edt_Baudrate=4294967296"} << "'4294967296' is not a valid integer value"
            << kUntouched;
    }
    void ok() {
        QFETCH(QStringList, typed);
        QFETCH(QString, error);
        QFETCH(QString, fields);
        Fixture f;
        for (const QString& entry : typed) {
            const QString name = entry.section('=', 0, 0);
            const QString text = entry.section('=', 1);
            if (name == "Edt_Baudrate") {
                const int item = f.dialog.Edt_Baudrate->findText(text);
                if (item >= 0) {
                    f.dialog.Edt_Baudrate->setCurrentIndex(item);  // chosen from the list
                } else {
                    f.dialog.Edt_Baudrate->setEditText(text);
                }
            } else {
                auto* box = f.dialog.findChild<QLineEdit*>(name);
                QVERIFY2(box, qPrintable(name));
                box->setText(text);
            }
        }
        f.answers.then(ModalAnswerer::accept());
        f.dialog.Btn_OK->click();

        QCOMPARE(Fields(f.form), fields);
        if (error.isEmpty()) {
            QVERIFY(f.answers.seen.isEmpty());
            QVERIFY(!f.dialog.isVisible());
        } else {
            QCOMPARE(f.answers.seen.size(), 1);
            QCOMPARE(f.answers.seen[0].kind, QString("message"));
            QCOMPARE(f.answers.seen[0].text, error);
            QVERIFY(f.dialog.isVisible());
        }
    }

    void cancelStoresNothing() {
        Fixture f;
        f.dialog.Edt_Baudrate->setCurrentIndex(7);
        f.dialog.Btn_Cancel->click();
        QVERIFY(!f.dialog.isVisible());
        QCOMPARE(Fields(f.form), kUntouched);
    }

    void enterReleasedInAnyBoxActsAsOk_data() {
        QTest::addColumn<QString>("box");
        QTest::addColumn<int>("modifiers");
        QTest::newRow("device number box") << "Edt_DeviceNumber" << int(Qt::NoModifier);
        QTest::newRow("network key box with Shift") << "Edt_NetworkKey5" << int(Qt::ShiftModifier);
        QTest::newRow("trainer page box") << "Edt_TrainerDeviceNumber" << int(Qt::NoModifier);
    }
    void enterReleasedInAnyBoxActsAsOk() {
        QFETCH(QString, box);
        QFETCH(int, modifiers);
        Fixture f;
        f.dialog.Edt_Baudrate->setCurrentIndex(7);
        auto* edit = f.dialog.findChild<QLineEdit*>(box);
        QVERIFY(edit);
        const auto mods = Qt::KeyboardModifiers(modifiers);
        QTest::keyPress(edit, Qt::Key_Return, mods);
        QVERIFY(f.dialog.isVisible());  // nothing on the press
        QCOMPARE(Fields(f.form), kUntouched);
        QTest::keyRelease(edit, Qt::Key_Return, mods);
        QVERIFY(!f.dialog.isVisible());
        QCOMPARE(Fields(f.form), kDefaults);
    }

    // The Enter that dismisses the error box is released over the dialog:
    // that release is not taken as another OK.
    void enterThatClosedTheErrorBoxIsNoNewOk() {
        Fixture f;
        f.answers.then(ModalAnswerer::accept());
        QTest::keyPress(f.dialog.Edt_RFChannel, Qt::Key_Enter);
        QTest::keyRelease(f.dialog.Edt_RFChannel, Qt::Key_Enter);
        QCOMPARE(f.answers.seen.size(), 1);
        QTest::keyRelease(f.dialog.Edt_RFChannel, Qt::Key_Enter);
        QTest::qWait(20);
        QCOMPARE(f.answers.seen.size(), 1);
        QVERIFY(f.dialog.isVisible());
    }

    void enableTransmissionCouplesTransmitAlways() {
        Fixture f;
        QTest::mouseClick(f.dialog.Chk_EnableTrasmission, Qt::LeftButton);
        QVERIFY(!f.dialog.Chk_EnableTrasmission->isChecked());
        QVERIFY(!f.dialog.chk_TransmittAlways->isEnabled());
        QTest::mouseClick(f.dialog.Chk_EnableTrasmission, Qt::LeftButton);
        QVERIFY(f.dialog.chk_TransmittAlways->isEnabled());
    }

    void keepsWhatTheUserLeftBetweenShowings() {
        Fixture f;
        f.dialog.Edt_RFChannel->setText("66");
        f.dialog.Btn_Cancel->click();
        f.dialog.show();
        QCOMPARE(f.dialog.Edt_RFChannel->text(), QString("66"));
    }
};

QTEST_MAIN(ChannelSettingsTest)
#include "ChannelSettingsTest.moc"
