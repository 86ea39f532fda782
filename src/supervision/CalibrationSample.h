// One photodiode sample for the dark-current calibration, taken by a station list while the
// measurement goes on.
#pragma once

#include <functional>
#include <string>

#include "CycleHost.h"

class TStationLinkHolder;

class TCalibrationSample {
  public:
    using TDone = std::function<void(const TCalibrationPD& sample, const std::string& error)>;

    TCalibrationSample(TCycleHost& host, const TStationLinkHolder& link) : host_(host), link_(link) {}

    // `done` runs on the main thread with the sample and the list's error text (empty on success);
    // at once with "Pas de liaison avec le Halvex." when there is no station link.
    void Start(TDone done);

  private:
    TCycleHost& host_;
    const TStationLinkHolder& link_;
};
