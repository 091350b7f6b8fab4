// A private config folder per test ($XDG_CONFIG_HOME), removed afterwards.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QFile>
#include <filesystem>
#include <string>

#include "manager/core/RegistryKey.h"

namespace velmo::manager::test {

class ConfigFolderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "velmo-manager-test-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        setenv("XDG_CONFIG_HOME", (dir_ + "/config").c_str(), 1);
    }
    void TearDown() override {
        unsetenv("XDG_CONFIG_HOME");
        std::filesystem::remove_all(dir_);
    }

    // The file as it is on disk: every write must already be there.
    std::string FileText() const {
        QFile f(SettingsFilePath());
        return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string();
    }
    // The value as a fresh reader of a copy of the file sees it (Qt shares one cache per path in a process).
    QVariant OnDisk(const QString& key) {
        const QString copy = QString::fromStdString(dir_) + "/copy" + QString::number(++copies_) + ".ini";
        QFile::copy(SettingsFilePath(), copy);
        return QSettings(copy, QSettings::IniFormat).value(key);
    }

    std::string dir_;
    int copies_ = 0;
};

}  // namespace velmo::manager::test
