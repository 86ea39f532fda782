#include "AutomationSwitches.h"

#include <cstdio>
#include <fmt/printf.h>
#include <optional>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <vector>

#include "ClarityTypeLibrary.h"
#include "DateTime.h"
#include "UserText.h"

namespace {

struct TSwitchName {
    const char* Name;
    TAutomationSwitch Switch;
};

const TSwitchName SwitchNames[] = {
    {"REGSERVER", TAutomationSwitch::RegServer},
    {"UNREGSERVER", TAutomationSwitch::UnregServer},
    {"REGSERVERPERUSER", TAutomationSwitch::RegServerPerUser},
    {"UNREGSERVERPERUSER", TAutomationSwitch::UnregServerPerUser},
    {"AUTOMATION", TAutomationSwitch::Automation},
    {"EMBEDDING", TAutomationSwitch::Embedding},
};

TAutomationSwitch SwitchOf(QString arg) {
    if (arg.startsWith(QLatin1Char('/')) || arg.startsWith(QLatin1Char('-'))) arg.remove(0, 1);
    for (const auto& s : SwitchNames)
        if (arg.compare(QLatin1String(s.Name), Qt::CaseInsensitive) == 0) return s.Switch;
    return TAutomationSwitch::None;
}

// The Exec line is split by the bus like a shell command line: quote what a shell would split.
QString ExecWord(const QString& word) {
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_./+:,@%=-]+$"));
    if (plain.match(word).hasMatch()) return word;
    QString quoted = word;
    quoted.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

void Say(const std::string& text) {
    std::fprintf(stdout, "%s\n", text.c_str());
}
void Complain(const std::string& text) {
    std::fprintf(stderr, "%s\n", text.c_str());
}

std::string ScopeText(bool perUser) {
    return perUser ? Tr("Automation", "pour l'utilisateur courant")
                   : Tr("Automation", "pour tous les utilisateurs");
}

// What to do instead when the system-wide folder refuses us.
std::string SystemWideHint(bool registering) {
    return registering
               ? Tr("Automation", "L'enregistrement pour tous les utilisateurs demande les droits "
                                  "d'administrateur (sudo orvanel /REGSERVER) ; pour l'utilisateur "
                                  "courant seul : orvanel /REGSERVERPERUSER")
               : Tr("Automation", "Le désenregistrement pour tous les utilisateurs demande les droits "
                                  "d'administrateur (sudo orvanel /UNREGSERVER)");
}

// Writes one activation file; the error text when it cannot.
std::optional<std::string> WriteActivationFile(const QString& folder, const QString& busName,
                                               const QString& programPath) {
    const QString path = ActivationFilePath(folder, busName);
    if (!QDir().mkpath(folder))
        return fmt::sprintf(Tr("Automation", "Impossible de créer le dossier %s"), folder.toStdString());
    QSaveFile file(path);
    const QByteArray content = ActivationFileText(busName, programPath).toUtf8();
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size() || !file.commit())
        return fmt::sprintf(Tr("Automation", "Impossible d'écrire le fichier d'activation %s : %s"),
                            path.toStdString(), file.errorString().toStdString());
    return std::nullopt;
}

std::optional<std::string> RemoveActivationFile(const QString& path) {
    QFile file(path);
    if (!file.exists() || file.remove()) return std::nullopt;
    return fmt::sprintf(Tr("Automation", "Impossible de retirer le fichier d'activation %s : %s"),
                        path.toStdString(), file.errorString().toStdString());
}

int Register(const QString& folder, bool perUser, const QString& programPath) {
    std::vector<std::string> errors;
    for (const TClarityInterface* iface : ClarityInterfaces())
        if (auto error = WriteActivationFile(folder, QLatin1String(iface->BusName), programPath))
            errors.push_back(*error);
    if (!errors.empty()) {
        for (const auto& e : errors)
            Complain(e);
        if (!perUser) Complain(SystemWideHint(true));
        return 1;
    }
    Say(fmt::sprintf(Tr("Automation", "Serveur d'automatisation ClarityII enregistré %s :"),
                     ScopeText(perUser)));
    for (const TClarityInterface* iface : ClarityInterfaces())
        Say("  " + ActivationFilePath(folder, QLatin1String(iface->BusName)).toStdString());
    return 0;
}

int Unregister(const QString& folder, bool perUser) {
    std::vector<std::string> errors;
    for (const TClarityInterface* iface : ClarityInterfaces())
        if (auto error = RemoveActivationFile(ActivationFilePath(folder, QLatin1String(iface->BusName))))
            errors.push_back(*error);
    if (!errors.empty()) {
        for (const auto& e : errors)
            Complain(e);
        if (!perUser) Complain(SystemWideHint(false));
        return 1;
    }
    Say(fmt::sprintf(Tr("Automation", "Serveur d'automatisation ClarityII désenregistré %s (%s)"),
                     ScopeText(perUser), folder.toStdString()));
    return 0;
}

} // namespace

TAutomationSwitch FindAutomationSwitch(const QStringList& args) {
    for (qsizetype i = 1; i < args.size(); ++i)
        if (const auto s = SwitchOf(args[i]); s != TAutomationSwitch::None) return s;
    return TAutomationSwitch::None;
}

bool IsAutomationStart(const QStringList& args) {
    const auto s = FindAutomationSwitch(args);
    return s == TAutomationSwitch::Automation || s == TAutomationSwitch::Embedding;
}

TActivationFolders DefaultActivationFolders() {
    QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    // XDG base directories must be absolute; a relative one is ignored.
    if (dataHome.isEmpty() || QDir::isRelativePath(dataHome)) dataHome = QDir::homePath() + "/.local/share";
    return {QDir::cleanPath(dataHome + "/dbus-1/services") + '/',
            QStringLiteral("/usr/share/dbus-1/services/")};
}

QString ActivationFilePath(const QString& folder, const QString& busName) {
    return QDir(folder).filePath(busName + ".service");
}

QString ActivationFileText(const QString& busName, const QString& programPath) {
    QStringList exec{ExecWord(QFileInfo(programPath).absoluteFilePath())};
    for (const auto& arg : ActivationArguments)
        exec << ExecWord(arg);
    // The bus reads the file as a key file first, where a backslash escapes the next character.
    QString execLine = exec.join(QLatin1Char(' '));
    execLine.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    return QStringLiteral("# Orvanel: the ClarityII automation server, registered %1\n"
                          "[D-BUS Service]\n"
                          "Name=%2\n"
                          "Exec=%3\n")
        .arg(QString::fromStdString(DateTimeText(Now())), busName, execLine);
}

std::optional<int> HandleAutomationSwitches(const QStringList& args, const QString& programPath) {
    return HandleAutomationSwitches(args, programPath, DefaultActivationFolders());
}

std::optional<int> HandleAutomationSwitches(const QStringList& args, const QString& programPath,
                                            const TActivationFolders& folders) {
    switch (FindAutomationSwitch(args)) {
    case TAutomationSwitch::RegServer:
        return Register(folders.SystemWide, false, programPath);
    case TAutomationSwitch::UnregServer:
        return Unregister(folders.SystemWide, false);
    case TAutomationSwitch::RegServerPerUser:
        return Register(folders.PerUser, true, programPath);
    case TAutomationSwitch::UnregServerPerUser:
        return Unregister(folders.PerUser, true);
    case TAutomationSwitch::Automation:
    case TAutomationSwitch::Embedding:
    case TAutomationSwitch::None:
        break;
    }
    return std::nullopt;
}
