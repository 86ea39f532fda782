// Snapshot pictures of the graphs: the five plots and the wind dial as JPEG files under fixed names,
// either as they are on the screen or drawn afresh at the web-publishing sizes. The window adds the
// picture of its information tab ("last_overview.jpg").
#pragma once

#include <string>

#include "GraphicSpecial.h"
#include "HistoryStore.h"
#include "Records.h"
#include "SnapshotNames.h"

// What a publishing copy takes from its on-screen plot: the scale, the grid, the translation and the
// median mode.
struct TPlotCopyState {
    TgraphicSetupSky Tg;
    bool BoxGrid = true;
    bool Translate = false;
    bool Special = false;

    static TPlotCopyState Of(const TGraphicSpecial& plot) {
        return {plot.Tg, plot.BoxGrid, plot.Translate, plot.Special};
    }
};

// The state of the on-screen graphs that the publishing snapshots copy.
struct TPublishGraphSources {
    TPlotCopyState Temp, Light, Sky, Wind, Humidity;
    bool SkyMinusGround = true;   // the sky plot shows sky minus ground (else the sky alone)
    bool DialAutoscale = true;    // the dial's automatic scale
    double DialMaxSpeed_kmh = 10; // its fixed scale otherwise
};

// The dial and the five plots drawn afresh at the publishing sizes of setup.SetupWebPublish and
// written into folder (ending with '/'), in this order: dial, temperature, brightness, sky, wind gust,
// humidity. The on-screen graphs are not touched. Raises ERangeError for a quality outside 1 to 100
// before anything is drawn, and the first drawing or writing error (files already written stay).
void SavePublishGraphs(const THistoryStore& history, const TSetupInfos& setup,
                       const TPublishGraphSources& sources, const std::string& folder, int quality);
