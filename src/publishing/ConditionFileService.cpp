#include "ConditionFileService.h"

#include "ConditionFiles.h"
#include "Records.h"

void TConditionFileService::OnReading(const TcapteursInfos& reading, const TConditions&) {
    if (SetupInfos.FileCLoudSensorVersion == CloudSensor_NOFile) return;
    const std::string refusal =
        writer_.Write(SetupInfos.BoltWoodFileName, SetupInfos.FileCLoudSensorVersion, reading, published_.Values());
    if (!refusal.empty() && refused_) refused_(refusal);
}
