#include "Snapshots.h"

#include "JpegFile.h"
#include "WindDisplay.h"

void TGraphicSpecial::SaveToFile(const std::string& path, int quality) const {
    SaveImageAsJpeg(picture_, path, quality);
}

void TWindDisplay::SaveToFile(const std::string& path, int quality) const {
    SaveImageAsJpeg(picture_, path, quality);
}

namespace {

// A copy of an on-screen plot at another size: no zoom handler, no progress text, no title.
void SavePlotCopy(const THistoryStore& history, const TSetupInfos& setup, TTypeDataGraph type,
                  const char* unit, int width, int height, const TPlotCopyState& state,
                  const std::string& path, int quality) {
    TGraphicSpecial plot(history, setup);
    plot.TypeData = type;
    plot.SetSize(width, height);
    plot.unit_Str = unit;
    plot.Tg = state.Tg;
    plot.BoxGrid = state.BoxGrid;
    plot.Translate = state.Translate;
    plot.Special = state.Special;
    plot.Display();
    plot.SaveToFile(path, quality);
}

} // namespace

void SavePublishGraphs(const THistoryStore& history, const TSetupInfos& setup,
                       const TPublishGraphSources& sources, const std::string& folder, int quality) {
    CheckJpegQuality(quality);
    const TSetupWebPublish& web = setup.SetupWebPublish;

    TWindDisplay dial(history, setup);
    dial.SetSize(web.L_GrWDir, web.L_GrWDir);
    dial.Autoscale = sources.DialAutoscale;
    if (!dial.Autoscale) dial.Def_MaxSpeed_kmh = sources.DialMaxSpeed_kmh;
    dial.DisplayGUST = true;
    dial.Display();
    dial.SaveToFile(folder + SnapshotFile::WindDisplay, quality);

    const int w = web.Lx_AllGraphs, h = web.Ly_AllGraphs;
    SavePlotCopy(history, setup, TempData, "°C", w, h, sources.Temp, folder + SnapshotFile::Temp, quality);
    SavePlotCopy(history, setup, Lighdata, "", w, h, sources.Light, folder + SnapshotFile::SkyLight, quality);
    SavePlotCopy(history, setup, sources.SkyMinusGround ? IRData_Minus_Sol : IRData, "°", w, h, sources.Sky,
                 folder + SnapshotFile::SkyCloud, quality);
    SavePlotCopy(history, setup, WinData, "", web.Lx_GrWspeed, web.Ly_GrWspeed, sources.Wind,
                 folder + SnapshotFile::WindSpeed, quality);
    SavePlotCopy(history, setup, MoistureData, "%%", w, h, sources.Humidity, folder + SnapshotFile::Humidity,
                 quality);
}
