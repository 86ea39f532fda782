// Records and month-file bytes for the history tests, built independently of the code under test.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

#include "DateTime.h"
#include "Records.h"

namespace history_test {

// A record whose temperature and light counter carry tag, so that a misplaced record shows.
inline TcapteursInfos Record(TDateTime date, int tag = 0) {
    TcapteursInfos r{};
    r.DateSysteme = date;
    r.ValueTempDeg = 10.0f + static_cast<float>(tag % 100);
    r.LightValueAbs = static_cast<uint32_t>(tag);
    return r;
}

inline TDateTime At(int year, int month, int day, int hour = 12, int minute = 0) {
    return EncodeDateTime(year, month, day, hour, minute);
}

// count records every `minutes` minutes from first.
inline TTDataStation Series(TDateTime first, int count, int minutes, int tag = 0) {
    TTDataStation records;
    for (int i = 0; i < count; ++i)
        records.push_back(Record(first + i * minutes / 1440.0, tag + i));
    return records;
}

// A month file: magic 12 11 8A F7, the count, the records.
inline std::string FileBytes(const TTDataStation& records, int32_t count) {
    std::string bytes("\x12\x11\x8A\xF7", 4);
    bytes.append(reinterpret_cast<const char*>(&count), 4);
    bytes.append(reinterpret_cast<const char*>(records.data()), records.size() * sizeof(TcapteursInfos));
    return bytes;
}
inline std::string FileBytes(const TTDataStation& records) {
    return FileBytes(records, static_cast<int32_t>(records.size()));
}

} // namespace history_test
