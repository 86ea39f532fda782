// The small text files other observatory software polls: "infodata.txt" with every measured value,
// and the one-line condition file in one of two established column layouts.
#pragma once

#include <string>

#include "DateTime.h"
#include "PublishedConditions.h"
#include "Records.h"

inline constexpr const char* InfoDataFileName = "infodata.txt";
inline constexpr size_t OneLineLengthI = 67;
inline constexpr size_t OneLineLengthII = 112;
inline constexpr size_t OneLineLengthIIStrict = 104;

// Replaces the file whole: the content goes to a temporary file beside it, which is then renamed
// over the old one, so a reader never sees it half written or empty. Raises EOrvanelError.
void WriteFileAtomically(const std::string& path, const std::string& content);

// The lines of the information file, each ended by CR LF.
std::string InfoDataText(const TcapteursInfos& reading);
// Writes PathDatas + "infodata.txt". Raises EOrvanelError when the file cannot be written (the
// communication thread reports it as a failed reading).
void WriteInfoDataFile(const TcapteursInfos& reading);

// The one-line file's line (without line end) for flavour CloudSensorI_File, CloudSensorII_File or
// CloudSensorIIStrict_File, from the reading, the condition codes, sky brightness, wind direction and
// relay state just published, and the clock `now`. The strict line ends with the roof-close flag at
// column 102 (1 while the station's relay is closed) and the alert flag at 104 (1 while the relay is
// closed or it rains). A data age that is negative or beyond 32 bits raises EOrvanelError in flavour I; in
// flavour II it is logged and written as 00000.
std::string OneLineText(TFileVersionDataCS flavour, const TcapteursInfos& reading,
                        const TAutomationValues& values, TDateTime now);
// Writes the one-line file to path, from the values just published (nothing for CloudSensor_NOFile). Never
// raises: a failure is logged with the line as far as it was built, and the previous file stays as it was.
// Returns whether the file was written.
bool WriteOneLineFile(const std::string& path, TFileVersionDataCS flavour, const TcapteursInfos& reading,
                      const TAutomationValues& values);

// Number fields of the one-line file: "05", "10", "100"; "00012", "123456".
std::string TwoDigitField(long long value);
std::string FiveDigitField(long long value);
