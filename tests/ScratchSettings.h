// Points the settings folder ($XDG_CONFIG_HOME) at a temporary folder for the
// life of the object, so that main windows made by a test neither read nor
// overwrite the user's own config.ini (on Windows: sets it aside).
#pragma once

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtGlobal>

#ifdef _WIN32
#include "ui/settings/SettingsDir.h"
#endif

namespace tovali {

#ifdef _WIN32
// Windows names the settings folder through the system (the roaming
// application data), not the environment: the test uses that folder and
// keeps a config.ini it finds there aside until it ends.
class TScratchSettings {
  public:
    TScratchSettings()
        : file_(QString::fromStdWString(SettingsFilePath(MakeSettingsDir().value()).wstring())) {
        QFile::rename(file_, Kept());
    }
    ~TScratchSettings() {
        QFile::remove(file_);
        QFile::rename(Kept(), file_);
    }

    QString Home() const { return QFileInfo(file_).path(); }
    QString File() const { return file_; }
    // Forgets what an earlier window saved: the next one starts from the defaults.
    void Clear() const { QFile::remove(File()); }

  private:
    QString Kept() const { return dir_.path() + QStringLiteral("/config.ini"); }

    QTemporaryDir dir_;
    QString file_;
};
#else
class TScratchSettings {
  public:
    TScratchSettings() { qputenv("XDG_CONFIG_HOME", dir_.path().toLocal8Bit()); }

    QString Home() const { return dir_.path(); }
    QString File() const { return dir_.path() + QStringLiteral("/Quorbel/Tovali3/config.ini"); }
    // Forgets what an earlier window saved: the next one starts from the defaults.
    void Clear() const { QFile::remove(File()); }

  private:
    QTemporaryDir dir_;
};
#endif

}  // namespace tovali
