// The information file "infodata.txt": one "key = value" line per measured quantity of the latest
// weather reading, rewritten whole after each reading, for other observatory software.
#pragma once

#include <string>

#include "Records.h"

// The file's text, CR LF line ends.
std::string InfoDataText(const TcapteursInfos& record);
// Replaces the file; raises EOrvanelError when it cannot be written.
void WriteInfoDataFile(const std::string& path, const TcapteursInfos& record);
// Writes the file after a weather reading through the writer installed with SetInfoDataWriter, or
// to PathDatas + "infodata.txt" when none is installed.
void WriteInfoData(const TcapteursInfos& record);
