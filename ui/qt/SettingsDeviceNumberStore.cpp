#include "ui/qt/SettingsDeviceNumberStore.h"

#include <QSettings>
#include <QStringList>

#include "log/EventLog.h"

namespace fota::qt {

namespace {
const QString kRoot = QStringLiteral("SOFTWARE\\Norvo\\Mova\\");
}

SettingsDeviceNumberStore::SettingsDeviceNumberStore()
    : settings_(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, "Norvo",
                                            "Mova")) {
    // Only the user's own values: no system-wide or organisation-wide files.
    settings_->setFallbacksEnabled(false);
}

SettingsDeviceNumberStore::SettingsDeviceNumberStore(const QString& iniFile)
    : settings_(std::make_unique<QSettings>(iniFile, QSettings::IniFormat)) {
    settings_->setFallbacksEnabled(false);
}

SettingsDeviceNumberStore::~SettingsDeviceNumberStore() = default;

QString SettingsDeviceNumberStore::location() const {
    return settings_->fileName();
}

QString SettingsDeviceNumberStore::SettingsKey(const std::string& keyPath,
                                               const std::string& valueName) {
    QString path = QString::fromStdString(keyPath);
    while (path.startsWith('\\')) {
        path.remove(0, 1);
    }
    while (path.endsWith('\\')) {
        path.chop(1);
    }
    path += '\\';
    if (!path.startsWith(kRoot, Qt::CaseInsensitive) || path.size() == kRoot.size() ||
        valueName.empty()) {
        return {};
    }
    QString group = path.mid(kRoot.size());
    group.chop(1);
    group.replace('\\', '/');
    return group + '/' + QString::fromStdString(valueName);
}

std::optional<std::string> SettingsDeviceNumberStore::ReadString(const std::string& key,
                                                                 const std::string& valueName) {
    const QString settingsKey = SettingsKey(key, valueName);
    if (settingsKey.isEmpty()) {
        return std::nullopt;
    }
    if (settings_->status() != QSettings::NoError) {
        WriteLog("Ignoring " + settings_->fileName().toStdString() +
                 ": the settings cannot be read");
        return std::nullopt;
    }
    const QVariant value = settings_->value(settingsKey);
    if (!value.isValid()) {
        return std::nullopt;
    }
    switch (value.typeId()) {
        case QMetaType::QString:
            return value.toString().toStdString();
        case QMetaType::QStringList:
            // An INI value with a comma reads as a list: give it back whole,
            // so that the number check rejects it.
            return value.toStringList().join(',').toStdString();
        default:
            // A number stored as a registry number (not as text), say.
            WriteLog("Ignoring " + key + valueName + ": not stored as text");
            return std::nullopt;
    }
}

}  // namespace fota::qt
