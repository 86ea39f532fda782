#include "ConditionFileService.h"

#include "ConditionFiles.h"
#include "Records.h"

void TConditionFileService::OnReading(const TcapteursInfos& reading, const TConditions&) {
    if (SetupInfos.FileCLoudSensorVersion != CloudSensor_NOFile)
        WriteOneLineFile(SetupInfos.BoltWoodFileName, SetupInfos.FileCLoudSensorVersion, reading,
                         published_.Values());
}
