// Tests of the automation server run inside an application object, the server in the main thread.
// Started by a private bus as "--headless AUTOMATION", the same binary stands in for the headless
// program: it serves the interfaces on the bus it was handed until it is told to end.
#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QTimer>

#include "AutomationServer.h"
#include "AutomationSwitches.h"
#include "PublishedConditions.h"
#include "Records.h"
#include "SettingsTable.h"

namespace {

int ServeAsActivatedProgram(QCoreApplication& app) {
    InstallSettingDefaults(); // as the program does first
    InitStartValues();
    TPublishedConditions published(Now());
    published.PublishThresholds(SetupInfos);
    TAutomationServer server(published);
    if (!server.Start()) return 1;
    // A test that lost track of it must not leave it behind for ever.
    QTimer::singleShot(120000, &app, &QCoreApplication::quit);
    return app.exec();
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.contains(ActivationArguments[0]) && IsAutomationStart(args)) return ServeAsActivatedProgram(app);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
