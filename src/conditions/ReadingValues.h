// The values of a reading as every publisher writes them. infodata.txt, the web dashboard and MQTT
// take their numbers from here, so the same reading never shows two different texts.
#pragma once

#include <string>

#include "Records.h"

enum class TReadingValue {
    SkyTemperature,
    SkyMinusAmbient,
    AmbientTemperature,
    DewPoint,
    Humidity,
    RainSensorTemperature,
    DetectorTemperature,
    WindGust,      // km/h
    WindDirection, // degrees
    SkyBrightness, // magnitude per square arc second
    LightLevel,    // log
    Heater,        // percent of the rain sensor's heating
    Supply,        // volts
};

// The text infodata.txt writes for the value ("%1.2f" and the like); empty when the station did not
// report it (gust and direction without a gust reading, brightness and level without light).
std::string ReadingValueText(const TcapteursInfos& reading, TReadingValue value);
