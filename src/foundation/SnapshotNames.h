// The file names of the published pictures, in the snapshot folder (PathJpeg): written by the
// graphs and the window, uploaded by the FTP publishing, shown by its web page. One list, so that
// what is written and what is sent cannot drift apart.
#pragma once

namespace SnapshotFile {
inline constexpr const char* SkyCloud = "last_SkyCloud.jpg";
inline constexpr const char* SkyLight = "last_SkyLight.jpg";
inline constexpr const char* Humidity = "last_Humidity.jpg";
inline constexpr const char* Temp = "last_Temp.jpg";
inline constexpr const char* WindSpeed = "last_WindSpeed.jpg";
inline constexpr const char* WindDisplay = "last_WindDisplay.jpg";
inline constexpr const char* Overview = "last_overview.jpg";
} // namespace SnapshotFile

// The pictures of a publication, in upload order.
inline constexpr const char* PublishedPictureNames[] = {
    SnapshotFile::WindSpeed, SnapshotFile::SkyCloud,    SnapshotFile::SkyLight, SnapshotFile::Humidity,
    SnapshotFile::Temp,      SnapshotFile::WindDisplay, SnapshotFile::Overview,
};
