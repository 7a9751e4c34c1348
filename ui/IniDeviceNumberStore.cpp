#include "ui/IniDeviceNumberStore.h"

#include <cstdlib>
#include <filesystem>

#include "log/EventLog.h"

namespace fota {

namespace {

constexpr std::string_view kRoot = "SOFTWARE\\Norvo\\Mova\\";

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) {
        return false;
    }
    for (std::size_t k = 0; k < prefix.size(); ++k) {
        auto lower = [](char c) {
            return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        };
        if (lower(text[k]) != lower(prefix[k])) {
            return false;
        }
    }
    return true;
}

}  // namespace

IniDeviceNumberStore::IniDeviceNumberStore() : path_(DefaultPath()) {}

IniDeviceNumberStore::IniDeviceNumberStore(std::string path) : path_(std::move(path)) {}

std::string IniDeviceNumberStore::DefaultPath() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    std::string base;
    if (xdg && *xdg) {
        std::error_code ec;
        const auto absolute = std::filesystem::absolute(xdg, ec);
        base = ec ? std::string(xdg) : absolute.string();
    } else {
        const char* home = std::getenv("HOME");
        base = std::string(home && *home ? home : "") + "/.config";
    }
    while (base.size() > 1 && base.back() == '/') {
        base.pop_back();
    }
    return base + "/Norvo/Mova.conf";
}

std::string IniDeviceNumberStore::SettingsKey(const std::string& keyPath,
                                              const std::string& valueName) {
    std::string_view path = keyPath;
    while (!path.empty() && path.front() == '\\') {
        path.remove_prefix(1);
    }
    while (!path.empty() && path.back() == '\\') {
        path.remove_suffix(1);
    }
    if (valueName.empty() || path.size() <= kRoot.size() ||
        !startsWithNoCase(std::string(path) + '\\', kRoot)) {
        return {};
    }
    std::string group(path.substr(kRoot.size()));
    for (char& c : group) {
        if (c == '\\') {
            c = '/';
        }
    }
    return group + '/' + valueName;
}

const IniFile* IniDeviceNumberStore::file() {
    if (!loaded_) {
        loaded_ = true;
        std::string error;
        file_ = IniFile::load(path_, &error);
        if (!file_) {
            WriteLog("Ignoring " + path_ + ": the settings cannot be read (" + error + ")");
        } else if (!file_->wellFormed()) {
            WriteLog("Ignoring " + path_ +
                     ": the settings cannot be read (a section header "
                     "without ']')");
            file_.reset();
        }
    }
    return file_ ? &*file_ : nullptr;
}

std::optional<std::string> IniDeviceNumberStore::ReadString(const std::string& key,
                                                            const std::string& valueName) {
    const std::string settingsKey = SettingsKey(key, valueName);
    if (settingsKey.empty()) {
        return std::nullopt;
    }
    const IniFile* ini = file();
    if (!ini) {
        return std::nullopt;
    }
    const IniFile::Value* value = ini->find(settingsKey);
    if (!value) {
        return std::nullopt;
    }
    if (!value->isText) {
        WriteLog("Ignoring " + key + valueName + ": not stored as text");
        return std::nullopt;
    }
    return value->text;
}

}  // namespace fota
