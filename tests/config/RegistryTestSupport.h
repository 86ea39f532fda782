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

    // The text after "Name=" of "Group/Sub/Name" (in section [Group] as "Sub\Name"), as a text
    // editor shows it; a date's bytes ("@ByteArray(...)") as Qt's INI reader reads them.
    QVariant Stored(const QString& key) {
        const QStringList parts = key.split('/');
        const std::string section = "[" + parts.front().toStdString() + "]";
        const std::string name = parts.mid(1).join('\\').toStdString() + "=";
        bool inSection = false;
        for (const std::string& line : SplitLines(ReadWholeFile(reg.FileName()), "\n")) {
            if (!line.empty() && line.front() == '[') inSection = line == section;
            if (!inSection || line.rfind(name, 0) != 0) continue;
            const std::string raw = line.substr(name.size());
            if (raw.rfind("@ByteArray(", 0) == 0)
                return QSettings(QString::fromStdString(reg.FileName()), QSettings::IniFormat).value(key);
            return QString::fromStdString(raw);
        }
        return {};
    }
    // Plants a stored value as an earlier version (through Qt's INI format) would have left it.
    void Plant(const QString& key, const QVariant& value) {
        QSettings raw(QString::fromStdString(reg.FileName()), QSettings::IniFormat);
        raw.setValue(key, value);
        raw.sync();
    }
};
