// A settings store in the sandbox's configuration folder, with direct access to the INI file
// underneath for planting and inspecting stored texts.
#pragma once

#include <QSettings>
#include <QVariant>
#include <string>

#include "DatabaseRegistry.h"
#include "TestSupport.h"

class RegistryTest : public SandboxTest {
  protected:
    void SetUp() override {
        SandboxTest::SetUp();
        reg.ErrorMessage.clear();
    }

    // The process-wide store: it follows XDG_CONFIG_HOME into the sandbox.
    TDatabaseRegistry& reg = DatabaseRegistry();

    // What the INI file holds under "Group/Name", as another program would see it.
    QVariant Stored(const QString& key) {
        QSettings raw(QString::fromStdString(reg.FileName()), QSettings::IniFormat);
        return raw.value(key);
    }
    // Plants a stored value as another tool (or an older version) would have left it.
    void Plant(const QString& key, const QVariant& value) {
        QSettings raw(QString::fromStdString(reg.FileName()), QSettings::IniFormat);
        raw.setValue(key, value);
        raw.sync();
    }
};
