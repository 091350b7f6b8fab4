#include "RegistryKey.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <memory>

namespace velmo::manager {

namespace {

constexpr mode_t kFolderMode = 0700;
constexpr mode_t kFileMode = 0600;

QString ConfigRoot() {
    const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
    return !xdg.isEmpty() && QDir::isAbsolutePath(xdg) ? xdg : QDir::homePath() + "/.config";
}

// True when the group (or key) has anything under it.
bool HasAnything(QSettings& s, const QString& path) {
    s.beginGroup(path);
    const bool any = !s.allKeys().isEmpty();
    s.endGroup();
    return any;
}

}  // namespace

QString SettingsFolder() {
    return ConfigRoot() + "/Brivanta";
}

QString SettingsFilePath() {
    return SettingsFolder() + "/VelmoManager.ini";
}

bool PrepareSettingsFile() {
    const QString folder = SettingsFolder();
    if (!QDir().mkpath(folder)) {
        return false;
    }
    const QByteArray f = QFile::encodeName(folder);
    if (chmod(f.constData(), kFolderMode) != 0) {
        return false;
    }
    const QByteArray path = QFile::encodeName(SettingsFilePath());
    const int fd = open(path.constData(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, kFileMode);
    if (fd < 0) {
        return false;
    }
    const bool ok = fchmod(fd, kFileMode) == 0;
    close(fd);
    return ok;
}

QSettings& ThreadSettings() {
    struct Holder {
        QString path;
        std::unique_ptr<QSettings> settings;
    };
    thread_local Holder holder;
    const QString path = SettingsFilePath();
    if (!holder.settings || holder.path != path) {
        PrepareSettingsFile();
        holder.settings = std::make_unique<QSettings>(path, QSettings::IniFormat);
        holder.path = path;
    }
    return *holder.settings;
}

RegistryKey::RegistryKey(const QString& path, bool create) : path_(path) {
    // A group exists as soon as it holds a value, so creating one is only a promise to write into it.
    open_ = create || HasAnything(ThreadSettings(), path_);
}

bool RegistryKey::Write(const QString& name, const QVariant& value) {
    if (!open_) {
        return false;
    }
    QSettings& s = ThreadSettings();
    s.setValue(Full(name), value);
    s.sync();
    return s.status() == QSettings::NoError;
}

uint32_t RegistryKey::ReadDword(const QString& name, uint32_t defaultValue) {
    if (!open_) {
        return defaultValue;
    }
    const QVariant v = ThreadSettings().value(Full(name));
    bool ok = false;
    // A list (a text with a comma) has no single value: it counts as missing.
    const uint32_t value = v.typeId() == QMetaType::QString ? v.toString().toUInt(&ok) : v.toUInt(&ok);
    if (v.isValid() && v.typeId() != QMetaType::QStringList && ok) {
        return value;
    }
    if (defaultValue != kNoCreateDefault) {
        WriteDword(name, defaultValue);
    }
    return defaultValue;
}

bool RegistryKey::WriteDword(const QString& name, uint32_t value) {
    return Write(name, QVariant(value));
}

QString RegistryKey::ReadString(const QString& name, const QString& defaultValue) {
    if (!open_) {
        return defaultValue;
    }
    const QVariant v = ThreadSettings().value(Full(name));
    if (v.isValid() && v.typeId() == QMetaType::QString) {
        return v.toString();
    }
    WriteString(name, defaultValue);
    return defaultValue;
}

bool RegistryKey::WriteString(const QString& name, const QString& text) {
    return Write(name, QVariant(text));
}

bool RegistryKey::FirstSubkey(QString* name) {
    index_ = 0;
    return NextSubkey(name);
}

bool RegistryKey::NextSubkey(QString* name) {
    name->clear();
    if (!open_) {
        return false;
    }
    QSettings& s = ThreadSettings();
    s.beginGroup(path_);
    const QStringList groups = s.childGroups();
    s.endGroup();
    if (index_ < 0 || index_ >= groups.size()) {
        return false;
    }
    *name = groups.at(index_++);
    return true;
}

bool RegistryKey::SubkeyExists(const QString& name) {
    return open_ && HasAnything(ThreadSettings(), Full(name));
}

bool RegistryKey::DeleteSubkeyTree(const QString& name) {
    if (!SubkeyExists(name)) {
        return false;
    }
    QSettings& s = ThreadSettings();
    s.remove(Full(name));
    s.sync();
    return s.status() == QSettings::NoError && !HasAnything(s, Full(name));
}

}  // namespace velmo::manager
