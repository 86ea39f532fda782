#include "ReadingValues.h"

#include <fmt/printf.h>

#include "Conditions.h"
#include "NumberText.h"

std::string ReadingValueText(const TcapteursInfos& r, TReadingValue value) {
    const bool wind = r.ValidWindGUST != 0;
    const bool light = r.ValidLight != 0;
    switch (value) {
    case TReadingValue::SkyTemperature:
        return fmt::sprintf("%1.2f", FieldValue(r.ValueSkyDeg));
    case TReadingValue::SkyMinusAmbient:
        return fmt::sprintf("%1.2f", FieldValue(r.DeltaTempDeg));
    case TReadingValue::AmbientTemperature:
        return fmt::sprintf("%2.2f", FieldValue(r.ValueTempDeg));
    case TReadingValue::DewPoint:
        return fmt::sprintf("%1.2f", FieldValue(r.DewPoint));
    case TReadingValue::Humidity:
        return fmt::sprintf("%1.1f", FieldValue(r.Humidity));
    case TReadingValue::RainSensorTemperature:
        return fmt::sprintf("%1.2f", FieldValue(r.ValueTempFceDeg));
    case TReadingValue::DetectorTemperature:
        return fmt::sprintf("%1.2f", FieldValue(r.ValueCanDeg));
    case TReadingValue::WindGust:
        return wind ? fmt::sprintf("%1.1f", MsToKmh(r.WindSpeedMax_ms)) : std::string();
    case TReadingValue::WindDirection:
        return wind ? fmt::sprintf("%1.0f", FieldValue(r.DirSpeedMax_deg)) : std::string();
    case TReadingValue::SkyBrightness:
        return light ? AdaptiveFloatText(SkyMagnitude(r.Lumex)) : std::string();
    case TReadingValue::LightLevel:
        return light ? AdaptiveFloatText(r.Lumex) : std::string();
    case TReadingValue::Heater:
        return fmt::sprintf("%d", static_cast<int>(r.PowerRainDet));
    case TReadingValue::Supply:
        return fmt::sprintf("%1.2f", FieldValue(r.PowerVolts));
    }
    return {};
}
