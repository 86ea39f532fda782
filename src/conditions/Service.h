// What every publisher or server of the monitor is to the controller: something started once after
// the start-up, told of each processed reading and of each change of the station link, and stopped
// at close (in the reverse order of the starts). A service reads the history store and the published
// conditions it was given when it was built, never the controller's internals, and it never drives
// the station. Plain C++, so that a service can be tested without the controller.
#pragma once

#include <string>

#include "Conditions.h"
#include "Records.h"

class TService {
  public:
    virtual ~TService() = default;

    // A short name for the log and the messages ("HTTP", "MQTT", "FTP").
    virtual std::string Name() const = 0;

    // False when the service cannot run (port taken, broker refused...): `error` says why in the
    // user's words, and the service has logged its one line (in English, as every log line). The
    // caller shows the text once, and the program runs on without the service. An empty `error`:
    // nothing to tell (a service that needs another one whose failure was already told).
    virtual bool Start(std::string& error) = 0;

    // Ends the service within a bounded time (a close must never hang on a network peer). Called
    // once, also for a service whose Start failed.
    virtual void Stop() = 0;

    // A weather reading was classified and stored. Called on the main thread; a service that works
    // on a thread of its own copies what it needs (the arguments do not outlive the call).
    virtual void OnReading(const TcapteursInfos& reading, const TConditions& conditions) = 0;

    // The station link was lost (true) or answers again (false).
    virtual void OnLinkState(bool lost) = 0;
};
