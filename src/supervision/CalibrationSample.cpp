#include "CalibrationSample.h"

#include "StationLink.h"
#include "UserText.h"

void TCalibrationSample::Start(TDone done) {
    if (!host_.Running() || !link_.Exists()) {
        done({}, Tr("MainForm", "Pas de liaison avec le Halvex."));
        return;
    }
    host_.StartList({TCom_CalibratePD}, [done = std::move(done)](TThread_Communicate& thread) {
        done(thread.CalibrationPD(), thread.ErrorText());
    });
}
