// The manager's named values: one INI file under the user's config folder, groups playing the registry keys.
#pragma once

#include <QSettings>
#include <QString>
#include <QStringList>
#include <cstdint>

namespace velmo::manager {

// A DWORD read with this default is not created when missing.
inline constexpr uint32_t kNoCreateDefault = 0xDEF0;

// <config>/Brivanta and <config>/Brivanta/VelmoManager.ini, with <config> from $XDG_CONFIG_HOME (else
// ~/.config), looked up on every call so that a test can move it.
QString SettingsFolder();
QString SettingsFilePath();

// Creates the folder 0700 and the file 0600 before Qt writes it: a later atomic save keeps the existing
// file's mode, and profile passwords live in it.
bool PrepareSettingsFile();

// This thread's settings object on the current file. QSettings is not thread-safe; the worker has no event
// loop, so every write is followed by sync().
QSettings& ThreadSettings();

class RegistryKey {
  public:
    // path: "Setting", "Profile/<name>". Without create the key must already hold something.
    RegistryKey(const QString& path, bool create);

    bool IsOpen() const { return open_; }
    const QString& Path() const { return path_; }

    // A missing value, or one that does not parse as its type, gives the default, which is then written
    // (a DWORD default of kNoCreateDefault excepted).
    uint32_t ReadDword(const QString& name, uint32_t defaultValue);
    bool WriteDword(const QString& name, uint32_t value);
    QString ReadString(const QString& name, const QString& defaultValue);
    bool WriteString(const QString& name, const QString& text);

    // Subkeys by index, from 0; false and an empty name when there is no more.
    bool FirstSubkey(QString* name);
    bool NextSubkey(QString* name);
    bool SubkeyExists(const QString& name);
    // Removes the subkey with everything under it.
    bool DeleteSubkeyTree(const QString& name);

  private:
    QString Full(const QString& name) const { return path_ + '/' + name; }
    bool Write(const QString& name, const QVariant& value);

    QString path_;
    bool open_ = false;
    int index_ = 0;
};

}  // namespace velmo::manager
