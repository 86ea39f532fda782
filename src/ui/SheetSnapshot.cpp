#include "SheetSnapshot.h"

#include <QImage>
#include <QPainter>
#include <QStackedWidget>
#include <QWidget>

#include "JpegFile.h"

void SaveSheetAsJpeg(QWidget* sheet, const std::string& path, int quality) {
    CheckJpegQuality(quality);
    // A page behind another tab kept the size of its last showing; the window may have been resized
    // since.
    if (auto* stack = qobject_cast<QStackedWidget*>(sheet->parentWidget()); stack && !sheet->isVisible())
        sheet->resize(stack->size());
    QImage picture(sheet->size(), QImage::Format_RGB32);
    picture.fill(sheet->palette().color(sheet->backgroundRole()));
    {
        QPainter painter(&picture);
        sheet->render(&painter, QPoint(), QRegion(), QWidget::DrawWindowBackground | QWidget::DrawChildren);
    }
    SaveImageAsJpeg(picture, path, quality);
}
