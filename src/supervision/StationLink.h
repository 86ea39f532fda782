// The holder of the station link: the serial object that every command list uses, opened on the
// configured port (never in simulation mode, where the lists answer the reading commands
// themselves), closed, reopened, and kept alive for a list that outlives the controller.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ThreadCommunicate.h"

class TStationLinkHolder {
  public:
    TStationLinkHolder();
    ~TStationLinkHolder();
    TStationLinkHolder(const TStationLinkHolder&) = delete;
    TStationLinkHolder& operator=(const TStationLinkHolder&) = delete;

    // Creates the serial object (closed). Lists started before have no port and fail at once.
    void Create();
    bool Exists() const { return port_ != nullptr; }
    bool IsOpen() const;
    // Opens the configured port (a device name wins over the COM number); throws with the reason.
    // In simulation mode nothing is opened.
    void Open(const TSetupInfos_Hardware& hw);
    void CloseIfOpen();
    // Closes the port, then frees the serial object unless a list still uses it: such a list keeps
    // it until the process ends (Abandon).
    void Destroy(bool listsRunning);
    // A list still runs after its owner has gone: the serial object is left to it.
    void Abandon();

    // The port as users name it: the device path, or the device of the COM number.
    static std::string DeviceText(const TSetupInfos_Hardware& hw);
    // The text after "Opened COM" in the log.
    static std::string OpenedText(const TSetupInfos_Hardware& hw);

    // A self-freeing list whose reports and completion go through the dispatcher.
    TThread_Communicate* NewList(std::vector<Tcommand> commands, TComListener* listener,
                                 TCompletionDispatcher* dispatcher);
    // Runs a list on its own thread, waits for it and applies its report here.
    void RunAndWait(std::vector<Tcommand> commands);

  private:
    std::unique_ptr<TComObjRs232> port_;
};
