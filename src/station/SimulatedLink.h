// The station link of "/Sim=1": no port is opened, and the commands that read the station answer
// with invented values. The commands that write to the station are not answered here: they go to
// the serial object, which is never opened in that mode, and fail at their first write as they
// would without a station.
#pragma once

#include <cstdint>
#include <optional>

#include "Records.h"
#include "ThreadCommunicate.h"

class TSimulatedStationLink {
  public:
    // tick: simulated weather readings made so far (the sky and detector values follow it).
    explicit TSimulatedStationLink(uint32_t tick) : tick_(tick) {}

    // What a list has found so far, as its own copies: an answered command writes there.
    struct TListValues {
        TSetupInfos& Setup;
        TcapteursInfos& Current;
        std::optional<TLightSample>& Light;
    };
    // True when the command was answered here; false when it must go to the port.
    bool Answer(Tcommand command, TListValues values);
    uint32_t Tick() const { return tick_; }

  private:
    void Version(TSetupInfos& setup) const;
    void Weather(TcapteursInfos& current);
    void Light(TcapteursInfos& current, std::optional<TLightSample>& light) const;

    uint32_t tick_;
};
