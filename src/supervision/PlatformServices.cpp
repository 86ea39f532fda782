#include "PlatformServices.h"

#include <deque>
#include <filesystem>
#include <fmt/format.h>
#include <map>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QPointer>
#include <QProcess>
#include <QSoundEffect>
#include <QStandardPaths>
#include <QThread>
#include <QUrl>
#include <unistd.h>

#include "Log.h"
#include "UserText.h"
#include "Utilities.h"

namespace {

constexpr const char* kShowRequest = "show\n";
constexpr int kSocketWaitMs = 1000;

QString QStr(const std::string& s) {
    return QString::fromStdString(s);
}

// One sound effect per file, kept for the whole run and never destroyed: destroying a QSoundEffect
// whose sample is still loading waits on Qt's sample loader, which hangs for good when the machine
// has no working audio output (a headless observatory computer). A program that plays a sound must
// never hang on it.
class SoundPlayer : public QObject {
  public:
    void Play(const QString& path) {
        QSoundEffect*& effect = Effects()[path];
        if (!effect) {
            effect = new QSoundEffect; // deliberately never deleted, see above
            effect->setSource(QUrl::fromLocalFile(path));
        }
        effect->stop();
        effect->play();
    }

  private:
    // Held from a global for the whole process, so the effects stay reachable (not leaked) at exit.
    static std::map<QString, QSoundEffect*>& Effects() {
        static auto* effects = new std::map<QString, QSoundEffect*>;
        return *effects;
    }
};

SoundPlayer* Player() {
    static QPointer<SoundPlayer> player;
    if (!player && QCoreApplication::instance()) {
        player = new SoundPlayer;
        player->moveToThread(QCoreApplication::instance()->thread());
        player->setParent(QCoreApplication::instance());
    }
    return player;
}

} // namespace

void RunProgram(const std::string& commandLine) {
    const TProgramCommand command = SplitProgramCommandLine(commandLine);
    if (command.Program.empty()) return;
    QStringList arguments;
    for (const auto& p : SplitParameters(command.Parameters))
        arguments << QStr(p);
    QProcess process;
    process.setProgram(QStr(command.Program));
    process.setArguments(arguments);
    process.setWorkingDirectory(QStr(std::filesystem::path(command.Program).parent_path().string()));
    process.setStandardInputFile(QProcess::nullDevice());
    qint64 pid = 0;
    if (!process.startDetached(&pid))
        throw EOrvanelError(Tr("PlatformServices", "Erreur lors du lancement de ") + "\"" + command.Program +
                            "\" [" + std::to_string(static_cast<int>(process.error())) + "] " +
                            process.errorString().toStdString());
    LogToday(fmt::format("Started {} (pid {})", command.Program, pid));
}

void PlaySoundFile(const std::string& fileName) {
    const std::string path = ResolveSoundFile(fileName);
    if (path.empty()) return;
    SoundPlayer* player = Player();
    if (!player) return;
    const QString qpath = QStr(path);
    QMetaObject::invokeMethod(
        player, [player, qpath] { player->Play(qpath); }, Qt::QueuedConnection);
}

void OpenFolderInExplorer(const std::string& folder) {
    if (!FolderExists(folder)) {
        ShowUserMessage(Tr("PlatformServices", "Le chemin spécifié n'a pas été trouvé !"));
        return;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(QStr(folder))))
        ShowUserMessage(Tr("PlatformServices", "Le fichier spécifié n'a pas été trouvé !"));
}

// ---- Single instance ------------------------------------------------------------------------

TSingleInstance::TSingleInstance(QObject* parent, const QString& serverName)
    : QObject(parent), serverName_(serverName) {}

TSingleInstance::~TSingleInstance() = default;

QString TSingleInstance::DefaultServerName() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty()) folder = QDir::tempPath();
    // The user id keeps two users of one machine apart when the runtime folder is shared.
    return folder + "/Tavrel_810AZFR_" + QString::number(::getuid());
}

bool TSingleInstance::CheckSingleInstance() {
    // The lock keeps two programs started at the same instant from both believing they are first.
    QLockFile startLock(serverName_ + ".lock");
    startLock.setStaleLockTime(10000);
    startLock.tryLock(5000);

    QLocalSocket probe;
    probe.connectToServer(serverName_);
    const bool another = probe.waitForConnected(kSocketWaitMs);
    probe.abort();
    if (!another) return Register();

    if (AskUserYesNo(
            Tr("PlatformServices", "Le programme Orvanel fonctionne déjà, ouvrir une autre session ?")))
        return Register();
    AskRunningInstanceToShow();
    return false;
}

bool TSingleInstance::Register() {
    // The newest instance takes the name over: it is the one a later start will raise.
    QLocalServer::removeServer(serverName_);
    server_ = std::make_unique<QLocalServer>();
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(serverName_)) {
        LogToday("Single instance: cannot listen on " + serverName_.toStdString() + " : " +
                 server_->errorString().toStdString());
        return true;
    }
    connect(server_.get(), &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* client = server_->nextPendingConnection()) {
            connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
            connect(client, &QLocalSocket::readyRead, this, [this, client] {
                if (client->readAll().contains("show")) emit showRequested();
            });
        }
    });
    return true;
}

bool TSingleInstance::AskRunningInstanceToShow() {
    QLocalSocket socket;
    socket.connectToServer(serverName_);
    if (!socket.waitForConnected(kSocketWaitMs)) return false;
    socket.write(kShowRequest);
    const bool sent = socket.waitForBytesWritten(kSocketWaitMs);
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState) socket.waitForDisconnected(kSocketWaitMs);
    return sent;
}
