#pragma once
// The device numbers in the user's own settings: the registry of the current
// user on Windows (HKEY_CURRENT_USER\SOFTWARE\Norvo\Mova\...), an INI text
// file elsewhere ($XDG_CONFIG_HOME/Norvo/Mova.conf, by default
// ~/.config/Norvo/Mova.conf), read only.
//
// A key path "\SOFTWARE\Norvo\Mova\<Key>\" with a value name <Name> is the
// entry <Name> of the group [<Key>]:
//
//     [PelorDeviceMovaAnt]
//     MovaAntSettings_TrainerDeviceNumber=1234
//     MovaAntSettings_ConsoleSerialNumber=4321
//
//     [PelorDeviceAntP]
//     QebAntP_DeviceNumber=1234
//     QebAntP_ConsoleDeviceNumber=4321

#include <QString>
#include <memory>

#include "ui/ConfigForm.h"

class QSettings;

namespace fota::qt {

class SettingsDeviceNumberStore : public DeviceNumberStore {
public:
    // The user's settings.
    SettingsDeviceNumberStore();
    // An INI file of that layout (tests).
    explicit SettingsDeviceNumberStore(const QString& iniFile);
    ~SettingsDeviceNumberStore() override;

    std::optional<std::string> ReadString(const std::string& key,
                                          const std::string& valueName) override;

    // Where the values are read from: a file path, or the registry key.
    QString location() const;

    // The settings key of a key path and value name ("PelorDeviceMovaAnt/
    // MovaAntSettings_TrainerDeviceNumber"); empty for a key path outside
    // \SOFTWARE\Norvo\Mova\.
    static QString SettingsKey(const std::string& keyPath, const std::string& valueName);

private:
    std::unique_ptr<QSettings> settings_;
};

}  // namespace fota::qt
