// The device numbers in a settings file: where each key path and value name
// is found, and what reaches the main window from an INI file as users write it.

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "log/EventLog.h"
#include "platform/Clock.h"
#include "tests/ui/Fakes.h"
#include "ui/ConfigForm.h"
#include "ui/qt/SettingsDeviceNumberStore.h"

using namespace fota;
using namespace fota::testing;
using fota::qt::SettingsDeviceNumberStore;

class SettingsStoreTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    std::vector<std::string> eventLog_;

    QString write(const QByteArray& text) {
        static int n = 0;
        const QString path = dir_.filePath(QString("Mova%1.conf").arg(++n));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly)) {
            return {};
        }
        file.write(text);
        return path;
    }

private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        eventlog::setFolder(dir_.path().toStdString());
        eventlog::setDebugOutput(false);
        eventlog::setObserver([this](const std::string& t) { eventLog_.push_back(t); });
    }
    void cleanupTestCase() {
        eventlog::setObserver(nullptr);
        eventlog::setFolder(std::nullopt);
    }

    void settingsKey_data() {
        QTest::addColumn<QString>("keyPath");
        QTest::addColumn<QString>("valueName");
        QTest::addColumn<QString>("settingsKey");
        QTest::newRow("first location") << "\\SOFTWARE\\Norvo\\Mova\\PelorDeviceMovaAnt\\"
                                        << "MovaAntSettings_TrainerDeviceNumber"
                                        << "PelorDeviceMovaAnt/MovaAntSettings_TrainerDeviceNumber";
        QTest::newRow("second location") << "\\SOFTWARE\\Norvo\\Mova\\PelorDeviceAntP\\"
                                         << "QebAntP_ConsoleDeviceNumber"
                                         << "PelorDeviceAntP/QebAntP_ConsoleDeviceNumber";
        QTest::newRow("registry case") << "\\Software\\Norvo\\Mova\\Deep\\Key"
                                       << "V"
                                       << "Deep/Key/V";
        QTest::newRow("outside the program's key") << "\\SOFTWARE\\Other\\Key\\"
                                                   << "V"
                                                   << "";
        QTest::newRow("the root key itself") << "\\SOFTWARE\\Norvo\\Mova\\"
                                             << "V"
                                             << "";
        QTest::newRow("no value name") << "\\SOFTWARE\\Norvo\\Mova\\PelorDeviceAntP\\"
                                       << ""
                                       << "";
    }
    void settingsKey() {
        QFETCH(QString, keyPath);
        QFETCH(QString, valueName);
        QFETCH(QString, settingsKey);
        QCOMPARE(
            SettingsDeviceNumberStore::SettingsKey(keyPath.toStdString(), valueName.toStdString()),
            settingsKey);
    }

    void readsTheNumbersAUserWrote() {
        const QString path = write(
            "[PelorDeviceMovaAnt]\n"
            "MovaAntSettings_ConsoleSerialNumber = 4321\n"
            "\n"
            "[PelorDeviceAntP]\n"
            "QebAntP_DeviceNumber=1234\n"
            "QebAntP_ConsoleDeviceNumber=\"1,2\"\n");
        SettingsDeviceNumberStore store(path);
        RealClock clock;
        RecordingPort port;
        ScriptedAntLibrary library;
        TMainForm form(port, library, clock);
        QCOMPARE(form.ReadTrainerDeviceNumber(&store), 1234);  // from the second location
        QCOMPARE(form.ReadConsoleDeviceNumber(&store), 4321);  // the first location wins
        QCOMPARE(store.ReadString("\\SOFTWARE\\Norvo\\Mova\\PelorDeviceAntP\\",
                                  "QebAntP_ConsoleDeviceNumber"),
                 std::optional<std::string>("1,2"));
        QCOMPARE(store.ReadString("\\SOFTWARE\\Norvo\\Mova\\PelorDeviceMovaAnt\\",
                                  "MovaAntSettings_TrainerDeviceNumber"),
                 std::optional<std::string>());
    }

    void aValueInAListIsNoNumber() {
        const QString path =
            write("[PelorDeviceMovaAnt]\nMovaAntSettings_TrainerDeviceNumber=1,2\n");
        SettingsDeviceNumberStore store(path);
        RealClock clock;
        RecordingPort port;
        ScriptedAntLibrary library;
        TMainForm form(port, library, clock);
        eventLog_.clear();
        QCOMPARE(form.ReadTrainerDeviceNumber(&store), -1);
        QCOMPARE(eventLog_.size(), std::size_t{1});
        QVERIFY(eventLog_[0].find("'1,2' is not a valid integer value") != std::string::npos);
    }

    void aMissingFileHoldsNothing() {
        SettingsDeviceNumberStore store(dir_.filePath("absent.conf"));
        QCOMPARE(store.ReadString("\\SOFTWARE\\Norvo\\Mova\\PelorDeviceMovaAnt\\",
                                  "MovaAntSettings_TrainerDeviceNumber"),
                 std::optional<std::string>());
        QVERIFY(!QFile::exists(dir_.filePath("absent.conf")));  // read only: never created
    }

    void theUsersStoreIsTheNorvoMovaFile() {
        qputenv("XDG_CONFIG_HOME", dir_.path().toUtf8());
        SettingsDeviceNumberStore store;
#ifndef Q_OS_WIN
        QCOMPARE(store.location(), dir_.filePath("Norvo/Mova.conf"));
#endif
    }
};

QTEST_MAIN(SettingsStoreTest)
#include "SettingsStoreTest.moc"
