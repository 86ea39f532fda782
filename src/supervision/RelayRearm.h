// The station side of a re-arm of the roof relay: the re-arm order, then (unless quiet) the question
// whether to watch again, and the set-up list that tells the station; the relay controller is told
// how each step ended.
#pragma once

#include <functional>
#include <QObject>
#include <QString>

#include "CycleHost.h"
#include "RelayController.h"

// The relay inputs of the settings in force.
TRelayInputs RelayInputsOf(const TSetupInfos& setup);

class TRelayRearm : public QObject {
    Q_OBJECT
  public:
    TRelayRearm(TCycleHost& host, TRelayController& relay, QObject* parent = nullptr)
        : QObject(parent), host_(host), relay_(relay) {}

    // The view's Yes/No box; without one the user's question hook answers.
    void SetQuestionHandler(std::function<bool(const QString&)> handler) { question_ = std::move(handler); }
    // Starts the re-arm list (quiet: the automatic re-arm, no question).
    void Start(bool quiet);

  signals:
    // The re-arm and its set-up list have ended.
    void rearmFinished();

  private:
    void OnRearmed(TThread_Communicate& thread);
    void AfterSetup();

    TCycleHost& host_;
    TRelayController& relay_;
    std::function<bool(const QString&)> question_;
};
