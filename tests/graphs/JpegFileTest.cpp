// Snapshot files: baseline JPEG of the picture's size, replaced whole, the quality checked first.
#include <filesystem>
#include <gtest/gtest.h>
#include <QImage>

#include "JpegFile.h"
#include "Records.h"
#include "TestSupport.h"

namespace {

class JpegFileTest : public SandboxTest {};

QImage Picture(int width, int height) {
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(QColor(20, 30, 70));
    for (int x = 0; x < width; ++x)
        image.setPixelColor(x, height / 2, QColor(240, 200, 0));
    return image;
}

// The frame header of a baseline JPEG: SOF0 with the height and width.
bool IsBaselineOfSize(const std::string& bytes, int width, int height) {
    if (bytes.size() < 4 || static_cast<unsigned char>(bytes[0]) != 0xFF ||
        static_cast<unsigned char>(bytes[1]) != 0xD8)
        return false;
    for (size_t i = 2; i + 9 < bytes.size();) {
        const auto at = [&](size_t k) { return static_cast<unsigned char>(bytes[k]); };
        if (at(i) != 0xFF) return false;
        const int marker = at(i + 1);
        const size_t length = (size_t(at(i + 2)) << 8) | at(i + 3);
        if (marker == 0xC0)
            return ((at(i + 5) << 8) | at(i + 6)) == height && ((at(i + 7) << 8) | at(i + 8)) == width;
        if (marker >= 0xC1 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC)
            return false;
        i += 2 + length;
    }
    return false;
}

TEST_F(JpegFileTest, WritesABaselineJpegOfThePictureSizeWhateverTheQuality) {
    const std::string path = PathJpeg + "last_Temp.jpg";
    size_t previous = 0;
    for (int quality : {1, 50, 100}) {
        SCOPED_TRACE(quality);
        SaveImageAsJpeg(Picture(400, 250), path, quality);
        const std::string bytes = ReadWholeFile(path);
        EXPECT_TRUE(IsBaselineOfSize(bytes, 400, 250));
        EXPECT_GT(bytes.size(), previous); // a higher quality keeps more
        previous = bytes.size();
    }
    // Nothing left beside it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(PathJpeg), {}), 1);
}

TEST_F(JpegFileTest, QualityOutsideOneToHundredIsARangeErrorAndLeavesTheFile) {
    const std::string path = PathJpeg + "last_Temp.jpg";
    WriteWholeFile(path, "previous");
    for (int quality : {0, -5, 101}) {
        SCOPED_TRACE(quality);
        try {
            SaveImageAsJpeg(Picture(10, 10), path, quality);
            ADD_FAILURE() << "no error";
        } catch (const ERangeError& e) {
            EXPECT_EQ(std::string(e.what()),
                      "Qualité JPEG hors limites (1 à 100) : " + std::to_string(quality));
        }
        EXPECT_EQ(ReadWholeFile(path), "previous");
    }
}

TEST_F(JpegFileTest, AFolderThatCannotBeWrittenNamesTheFile) {
    const std::string path = Root() + "missing-folder/last_Temp.jpg";
    try {
        SaveImageAsJpeg(Picture(10, 10), path, 90);
        ADD_FAILURE() << "no error";
    } catch (const EOrvanelError& e) {
        EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
    }
}

} // namespace
