// JPEG through libjpeg-turbo. Decoding gives 24 bits per pixel for colour
// files (CMYK and YCCK converted) and 8 bits with a 256-step grey palette for
// greyscale files; damaged data the library can still decode gives what it
// recovers. Encoding is done by TJpegImage.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "engine/Raster.h"
#include "engine/codecs/CodecIO.h"
#include "engine/codecs/RowWriter.h"

namespace tovali {

void JpegLoad(const std::string& path, TBitmap& picture);
void JpegLoadBuffer(const void* data, std::size_t size, TBitmap& picture);
// JpegLoad, then the fit the request asks for once the header is read,
// with the rows streamed into it (the picture never exists at full size);
// without a fit, JpegLoad with the request's other choices.
void JpegLoadFitted(const std::string& path, TBitmap& picture, const TDecodeRequest& request);
void JpegLoadFittedBuffer(const void* data, std::size_t size, TBitmap& picture,
                          const TDecodeRequest& request);
// The header as the decode reads it; every JPEG streams into a fit. A
// progressive file's coefficients are counted packed when they will be
// (TDecodeRequest::CompactCoefficients). Raises ECodecError when the header
// cannot be read.
TPictureHeader JpegReadHeader(const std::string& path, bool compactCoefficients);

// A JPEG encoder that holds one raster and the data of its latest encoding.
// Every encoding takes red-green-blue input from a 24-bit copy of the raster
// and uses the library's defaults (JFIF header, 2x2 chroma subsampling,
// standard Huffman tables), the floating-point DCT and quality scaling
// limited to baseline tables; no metadata is written.
class TJpegImage {
  public:
    // The raster must outlive the encoder.
    explicit TJpegImage(const TBitmap& picture);
    ~TJpegImage();
    TJpegImage(const TJpegImage&) = delete;
    TJpegImage& operator=(const TJpegImage&) = delete;

    bool ProgressiveEncoding = false;
    // 0..100; the library treats 0 as 1.
    int CompressionQuality = 90;
    // When set, an encoding gives up between rows and between the passes of
    // its last step ("encode stopped").
    const std::atomic<bool>* Cancel = nullptr;

    // Encodes with the current settings, replacing the previous data.
    void Compress();
    const std::uint8_t* Data() const { return data_.get(); }
    std::size_t DataSize() const { return size_; }

  private:
    struct FreeDeleter {
        void operator()(void* p) const;
    };
    const TBitmap* source_;
    std::unique_ptr<TBitmap> copy24_;
    std::unique_ptr<std::uint8_t, FreeDeleter> data_;
    std::size_t size_ = 0;
};

}  // namespace tovali
