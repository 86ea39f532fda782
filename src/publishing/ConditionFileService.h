// The one-line condition file as a service: rewritten after every weather reading from the values
// just published, in the layout and at the path of the settings ("FileCLoudSensorVersion",
// "BoltWoodFileName", read at each reading so that the settings dialog takes effect at once).
#pragma once

#include <functional>

#include "ConditionFiles.h"
#include "PublishedConditions.h"
#include "Service.h"

class TConditionFileService : public TService {
  public:
    // published: the controller's; it must outlive the service. refused: the text of a path the
    // program must not write to, once, for the status after this reading.
    TConditionFileService(const TPublishedConditions& published, std::function<void(const std::string&)> refused)
        : published_(published), refused_(std::move(refused)) {}

    std::string Name() const override { return "Condition file"; }
    bool Start(std::string&) override { return true; }
    void Stop() override {}
    // Never raises: a file that cannot be written is logged and the previous one stays; a path the
    // program must not write to is also told once.
    void OnReading(const TcapteursInfos& reading, const TConditions& conditions) override;
    void OnLinkState(bool) override {}

  private:
    const TPublishedConditions& published_;
    std::function<void(const std::string&)> refused_;
    TConditionFileWriter writer_;
};
