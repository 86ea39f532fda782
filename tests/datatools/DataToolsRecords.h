// Records for the data tools tests: each field the statistics, the table and the export read is set
// by name, so that a fixture says what it means.
#pragma once

#include "DateTime.h"
#include "Records.h"

namespace datatools_test {

// SeuilCloudy and SeuilDawn of the fixtures (the program's defaults).
inline constexpr double Cloudy = -20;
inline constexpr double Dawn = 14;
// Sky-minus-ambient differences on either side of Cloudy.
inline constexpr float ClearSky = -25;
inline constexpr float CloudySky = -5;
// Light levels: day (7.4 mag/sec²) and night (17.4).
inline constexpr double DayLumex = 2;
inline constexpr double NightLumex = -2;

inline TDateTime Day0() {
    return EncodeDateTime(2014, 3, 10);
}
inline TDateTime Minutes(double m) {
    return Day0() + m / 1440.0;
}

struct TRec {
    double Minute = 0;
    float Delta = CloudySky;
    float Temp = 10;
    float Humidity = 50;
    uint8_t Rain = 0;
    bool GustValid = false;
    float Gust = 0;
    bool LightValid = false;
    double Lumex = 0;
};

inline TcapteursInfos Make(const TRec& d) {
    TcapteursInfos r{};
    r.DateSysteme = Minutes(d.Minute);
    r.DeltaTempDeg = d.Delta;
    r.ValueTempDeg = d.Temp;
    r.ValueSkyDeg = d.Temp + d.Delta;
    r.Humidity = d.Humidity;
    r.RainStatus = d.Rain;
    r.ValidWindGUST = d.GustValid;
    r.WindSpeedMax_ms = d.Gust;
    r.DirSpeedMax_deg = 270;
    r.ValidLight = d.LightValid;
    r.Lumex = d.Lumex;
    return r;
}

// count records every `step` minutes from minute 0, all alike but for their date.
inline TTDataStation Every(double step, int count, TRec like = {}) {
    TTDataStation records;
    for (int i = 0; i < count; ++i) {
        like.Minute = i * step;
        records.push_back(Make(like));
    }
    return records;
}

} // namespace datatools_test
