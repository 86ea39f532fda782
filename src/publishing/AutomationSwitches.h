// The automation server's command-line switches. "REGSERVER" and "UNREGSERVER" (every user) and
// "REGSERVERPERUSER" and "UNREGSERVERPERUSER" (the current user) install or remove the D-Bus
// activation files through which the session bus starts the program, headless, when a client asks
// for one of the ClarityII bus names; then the program ends. "AUTOMATION" and "EMBEDDING" mark a
// start on a client's behalf. Each may be written bare or after "/" or "-", in any letter case.
#pragma once

#include <optional>
#include <QString>
#include <QStringList>

enum class TAutomationSwitch {
    None,
    RegServer,
    UnregServer,
    RegServerPerUser,
    UnregServerPerUser,
    Automation,
    Embedding,
};

// The first automation switch among the arguments (args[0], the program, is skipped).
TAutomationSwitch FindAutomationSwitch(const QStringList& args);
// Started by the bus on a client's behalf ("AUTOMATION" or "EMBEDDING").
bool IsAutomationStart(const QStringList& args);

// Where the activation files go.
struct TActivationFolders {
    QString PerUser;    // $XDG_DATA_HOME/dbus-1/services/ (~/.local/share when unset)
    QString SystemWide; // /usr/share/dbus-1/services/
};
TActivationFolders DefaultActivationFolders();

// The arguments the bus starts the program with.
inline const QStringList ActivationArguments{QStringLiteral("--headless"), QStringLiteral("AUTOMATION")};

// The activation file of a bus name, and its content for the given program.
QString ActivationFilePath(const QString& folder, const QString& busName);
QString ActivationFileText(const QString& busName, const QString& programPath);

// Acts on a registration switch: writes or removes the activation files of both bus names, tells
// the user what was done (standard output) or what failed (standard error), and returns the exit
// code. Returns nothing when the program must go on: no switch, or a start on a client's behalf.
// Call it from main once the application object exists, before anything else starts.
std::optional<int> HandleAutomationSwitches(const QStringList& args, const QString& programPath);
std::optional<int> HandleAutomationSwitches(const QStringList& args, const QString& programPath,
                                            const TActivationFolders& folders);
