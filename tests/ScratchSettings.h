// Points the settings folder ($XDG_CONFIG_HOME) at a temporary folder for the
// life of the object, so that main windows made by a test neither read nor
// overwrite the user's own config.ini.
#pragma once

#include <QFile>
#include <QTemporaryDir>
#include <QtGlobal>

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
