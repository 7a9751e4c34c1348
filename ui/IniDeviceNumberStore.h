#pragma once
// The device numbers in the user's settings file, read without Qt: the same
// file and layout as the window program's settings (QSettings, organisation
// "Norvo", application "Mova", native format):
//
//     $XDG_CONFIG_HOME/Norvo/Mova.conf   (default ~/.config/Norvo/Mova.conf)
//
// A key path "\SOFTWARE\Norvo\Mova\<Key>\" with a value name <Name> is the
// entry <Name> of the section [<Key>] (a deeper key path "<Key>\<Sub>" is the
// section [<Key>/<Sub>]):
//
//     [PelorDeviceMovaAnt]
//     MovaAntSettings_TrainerDeviceNumber=1234
//     MovaAntSettings_ConsoleSerialNumber=4321
//
//     [PelorDeviceAntP]
//     QebAntP_DeviceNumber=1234
//     QebAntP_ConsoleDeviceNumber=4321
//
// The file is read once, at the first lookup. A file that cannot be read, or
// is malformed (a section header without ']'), holds nothing; so does a
// value stored as something other than text. Each such case writes one
// event log line.

#include <optional>
#include <string>

#include "platform/IniFile.h"
#include "ui/ConfigForm.h"

namespace fota {

class IniDeviceNumberStore : public DeviceNumberStore {
public:
    // The user's settings file.
    IniDeviceNumberStore();
    // Another file of that layout.
    explicit IniDeviceNumberStore(std::string path);

    std::optional<std::string> ReadString(const std::string& key,
                                          const std::string& valueName) override;

    const std::string& path() const { return path_; }

    // The user's settings file: $XDG_CONFIG_HOME/Norvo/Mova.conf (a relative
    // XDG_CONFIG_HOME taken from the working folder), else
    // $HOME/.config/Norvo/Mova.conf.
    static std::string DefaultPath();

    // The entry of a key path and value name ("PelorDeviceMovaAnt/
    // MovaAntSettings_TrainerDeviceNumber"); empty for a key path outside
    // \SOFTWARE\Norvo\Mova\ or an empty value name.
    static std::string SettingsKey(const std::string& keyPath, const std::string& valueName);

private:
    const IniFile* file();

    std::string path_;
    bool loaded_ = false;
    std::optional<IniFile> file_;
};

}  // namespace fota
