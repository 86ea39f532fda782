#include "AutomationBus.h"

#include <QEventLoop>
#include <QJsonDocument>
#include <QTimer>

QString PythonWithDbus() {
    static const QString found = [] {
        for (const QString& candidate : {QStringLiteral("/usr/bin/python3"), QStringLiteral("python3")}) {
            QProcess p;
            p.start(candidate, {QStringLiteral("-c"), QStringLiteral("import dbus")});
            if (p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0)
                return candidate;
        }
        return QString();
    }();
    return found;
}

void PrivateBusTest::SetUp() {
    SandboxTest::SetUp();
    if (PythonWithDbus().isEmpty()) GTEST_SKIP() << "python3 with the dbus module (python3-dbus) is missing";
}

void PrivateBusTest::TearDown() {
    if (daemon_.state() != QProcess::NotRunning) {
        daemon_.terminate();
        if (!daemon_.waitForFinished(10000)) daemon_.kill();
        daemon_.waitForFinished(10000);
    }
    SandboxTest::TearDown();
}

void PrivateBusTest::StartBus() {
    daemon_.setProgram(QStringLiteral("dbus-daemon"));
    daemon_.setArguments(
        {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address")});
    daemon_.start();
    ASSERT_TRUE(daemon_.waitForStarted(10000))
        << "dbus-daemon does not start: " << daemon_.errorString().toStdString();
    while (!daemon_.canReadLine() && daemon_.waitForReadyRead(10000)) {
    }
    address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
    ASSERT_FALSE(address_.isEmpty()) << "dbus-daemon printed no address";
}

ClientAnswer PrivateBusTest::Client(const QStringList& args) {
    QProcess client;
    QEventLoop loop;
    QObject::connect(&client, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&client, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
    // A guard against a hung client, not a measure of speed.
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    client.start(PythonWithDbus(), QStringList{QStringLiteral(AUTOMATION_CLIENT_SCRIPT), address_} + args);
    loop.exec();
    ClientAnswer answer;
    if (client.state() != QProcess::NotRunning) {
        client.kill();
        client.waitForFinished(10000);
        ADD_FAILURE() << "the client did not end: " << args.join(' ').toStdString();
    }
    const QByteArray output = client.readAllStandardOutput();
    answer.Output = QString::fromUtf8(output + client.readAllStandardError());
    const QJsonObject json = QJsonDocument::fromJson(output).object();
    answer.Result = json.value(QStringLiteral("result"));
    answer.Error = json.value(QStringLiteral("error")).toString();
    if (answer.Result.isUndefined() && answer.Error.isEmpty())
        ADD_FAILURE() << "client " << args.join(' ').toStdString() << ": " << answer.Output.toStdString();
    return answer;
}
