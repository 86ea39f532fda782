// The one-line condition file as a service: rewritten after every weather reading from the values
// just published, in the layout and at the path of the settings ("FileCLoudSensorVersion",
// "BoltWoodFileName", read at each reading so that the settings dialog takes effect at once).
#pragma once

#include "PublishedConditions.h"
#include "Service.h"

class TConditionFileService : public TService {
  public:
    // published: the controller's; it must outlive the service.
    explicit TConditionFileService(const TPublishedConditions& published) : published_(published) {}

    std::string Name() const override { return "Condition file"; }
    bool Start(std::string&) override { return true; }
    void Stop() override {}
    // Never raises: a file that cannot be written is logged and the previous one stays.
    void OnReading(const TcapteursInfos& reading, const TConditions& conditions) override;
    void OnLinkState(bool) override {}

  private:
    const TPublishedConditions& published_;
};
