#include "JpegFile.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fmt/printf.h>
#include <QImage>
#include <vector>

#include "AtomicFile.h"

// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>

namespace {


// libjpeg reports errors through a callback that must not return: it jumps back here.
struct TJpegError {
    jpeg_error_mgr Manager;
    std::jmp_buf Back;
    char Message[JMSG_LENGTH_MAX];
};

[[noreturn]] void OnJpegError(j_common_ptr info) {
    auto* error = reinterpret_cast<TJpegError*>(info->err);
    (*info->err->format_message)(info, error->Message);
    std::longjmp(error->Back, 1);
}

// The whole JPEG in memory; jpeg_mem_dest allocates with malloc.
struct TJpegBuffer {
    unsigned char* Data = nullptr;
    unsigned long Size = 0;
    ~TJpegBuffer() { std::free(Data); }
};

} // namespace

void CheckJpegQuality(int quality) {
    if (quality < 1 || quality > 100)
        throw ERangeError(fmt::sprintf(Tr("Snapshots", "Qualité JPEG hors limites (1 à 100) : %d"), quality));
}

void SaveImageAsJpeg(const QImage& image, const std::string& path, int quality) {
    CheckJpegQuality(quality);
    if (image.isNull() || image.width() <= 0 || image.height() <= 0)
        throw EOrvanelError(fmt::sprintf(Tr("Snapshots", "Image vide, fichier %s non écrit"), path));
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);

    TJpegBuffer buffer;
    jpeg_compress_struct info{};
    TJpegError error{};
    info.err = jpeg_std_error(&error.Manager);
    error.Manager.error_exit = OnJpegError;
    // Nothing with a destructor lives between the setjmp and the jumps back to it.
    if (setjmp(error.Back) != 0) {
        jpeg_destroy_compress(&info);
        throw EOrvanelError(
            fmt::sprintf(Tr("Snapshots", "Erreur d'encodage JPEG de %s : %s"), path, error.Message));
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, &buffer.Data, &buffer.Size);
    info.image_width = static_cast<JDIMENSION>(rgb.width());
    info.image_height = static_cast<JDIMENSION>(rgb.height());
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE); // baseline tables
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(rgb.constScanLine(static_cast<int>(info.next_scanline)));
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);

    const TByteRun run(reinterpret_cast<const std::byte*>(buffer.Data), buffer.Size);
    const TReplaceResult result = ReplaceFileAtomically(path, std::span<const TByteRun>(&run, 1));
    if (!result.Succeeded())
        throw EOrvanelError(fmt::sprintf(Tr("Snapshots", "Impossible d'écrire le fichier %s : %s"), path,
                                         std::strerror(result.Error)));
}
