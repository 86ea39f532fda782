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
// Where the one-line file may be written. The path is used as given, and a symbolic link of the
// user's own is followed to its file; the program never writes through a link of another user,
// nor replaces a file another user owns, nor anything but a regular file (in a shared folder,
// such a file would be what other software reads, stale for ever).
struct TConditionFileTarget {
    std::string Path;    // the file to replace; empty when refused
    std::string Reason;  // why not, for the log (English)
    std::string Refusal; // why not, as the user reads it
};
TConditionFileTarget ConditionFileTarget(const std::string& path);

// Writes the one-line file to path, from the values just published (nothing for CloudSensor_NOFile). Never
// raises: a failure is logged with the line as far as it was built, and the previous file stays as it was.
// A path it must not write to (see ConditionFileTarget) or cannot write to (a missing folder) is logged,
// or, given `refused`, told there instead. Returns whether the file was written.
bool WriteOneLineFile(const std::string& path, TFileVersionDataCS flavour, const TcapteursInfos& reading,
                      const TAutomationValues& values, TConditionFileTarget* refused = nullptr);

// The one-line file of every reading: a path it must not or cannot write to is logged once, and its
// text given once for the status, until the refusal changes or a write succeeds.
class TConditionFileWriter {
  public:
    // The refusal's text when it is new, else empty.
    std::string Write(const std::string& path, TFileVersionDataCS flavour, const TcapteursInfos& reading,
                      const TAutomationValues& values);

  private:
    std::string told_;
};

// Number fields of the one-line file: "05", "10", "100"; "00012", "123456".
std::string TwoDigitField(long long value);
std::string FiveDigitField(long long value);
