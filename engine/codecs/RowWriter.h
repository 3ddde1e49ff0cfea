// Where a decoder writes a picture's rows once its header is read: straight
// into the full-size picture, or, when the caller fits the picture into a
// box, into a streamed fit that holds only the source rows the current
// target row spans. The decoder writes rows of its own layout either way.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "engine/BitmapUtils.h"
#include "engine/Raster.h"

namespace tovali {

struct TFitSize {
    int Width = 0;
    int Height = 0;
};

// What the caller asks of a decode, beyond the picture itself.
struct TDecodeRequest {
    // Given the picture's size, the size it is to be fitted to, or nothing
    // to decode it at full size. Asked only of decoders that stream.
    std::function<std::optional<TFitSize>(int width, int height)> Fit;
    // When set, the decode gives up between rows ("decode stopped").
    const std::atomic<bool>* Cancel = nullptr;
    // A progressive JPEG keeps its coefficients packed (TJpegCoefficientStore).
    bool CompactCoefficients = false;
};

// What a decoder learns from a file's header before any pixel is decoded:
// enough to say what decoding it will cost. Each codec fills it with the
// code its decode runs, so the answer cannot drift from what the decode does.
struct TPictureHeader {
    std::uint64_t Width = 0;
    std::uint64_t Height = 0;
    // The layout of the raster the decoder makes at full size.
    int BitsPerPixel = 24;
    // Given a fit, the rows go straight into it (TDecodeRequest::Fit is
    // asked); otherwise the picture is decoded at full size and then fitted.
    bool StreamsIntoFit = false;
    // What the decoder itself holds at its peak beside the rows it hands
    // over: coefficients, whole-file or whole-picture buffers.
    std::uint64_t DecoderBytes = 0;
};

class TRowWriter {
  public:
    // Gives the picture its size and layout (full size), or a single row of
    // that layout (fitted); the size was checked against TBitmap::MaxPixels.
    TRowWriter(TBitmap& picture, int width, int height, int bitsPerPixel,
               const std::optional<TFitSize>& fit, const std::atomic<bool>* cancel);
    ~TRowWriter();
    TRowWriter(const TRowWriter&) = delete;
    TRowWriter& operator=(const TRowWriter&) = delete;

    bool Fitted() const { return fit_ != nullptr; }
    // Room for row y in the picture's layout; a fitted picture takes its
    // rows strictly top to bottom, so there only the next row has room.
    std::uint8_t* Row(int y);
    // Row y is written. Raises ECodecError once the decode is cancelled.
    void Done(int y);
    // After the last row: a fitted picture becomes the fitted 24-bit raster.
    void Finish();

  private:
    TBitmap& picture_;
    std::unique_ptr<TStreamedFit> fit_;
    const std::atomic<bool>* cancel_;
};

}  // namespace tovali
