// The picture of a window tab (the information tab) as a JPEG file.
#pragma once

#include <string>

class QWidget;

// Renders the sheet with all its child widgets into a picture of the sheet's size and writes it as a
// JPEG at the quality given (1 to 100, ERangeError otherwise). A tab page that is not the current one
// first takes the size of the page area, so the picture matches what the tab would show now.
void SaveSheetAsJpeg(QWidget* sheet, const std::string& path, int quality);
