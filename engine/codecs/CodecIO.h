// What every codec shares: its error type, the byte source it decodes from
// (a file or a block of memory) and the byte sink it encodes into.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/Raster.h"

namespace tovali {

// A picture that cannot be read or written; the text says why, in English.
class ECodecError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Bytes to decode: an open file or a block of memory the caller keeps alive.
class TInputSource {
  public:
    // Raises ECodecError when the file cannot be opened.
    static TInputSource OpenFile(const std::string& path);
    TInputSource(const void* data, std::size_t size);
    TInputSource(TInputSource&&) noexcept;
    ~TInputSource();

    std::uint64_t Size() const { return size_; }
    std::uint64_t Remaining() const { return size_ - position_; }
    // Moves to an offset inside the data; raises ECodecError past the end.
    void Seek(std::uint64_t offset);
    // Reads up to `count` bytes; fewer only at the end of the data or on a
    // read error. Never raises, so library callbacks can use it.
    std::size_t Read(void* buffer, std::size_t count);
    // Reads exactly `count` bytes or raises "<what>: file is truncated".
    void ReadExact(void* buffer, std::size_t count, const char* what);

    // The open file, or nullptr for memory.
    std::FILE* File() const { return file_; }
    // The memory block, or nullptr for a file.
    const std::uint8_t* Memory() const { return memory_; }

  private:
    TInputSource() = default;
    std::FILE* file_ = nullptr;
    const std::uint8_t* memory_ = nullptr;
    std::uint64_t size_ = 0;
    std::uint64_t position_ = 0;
};

// Where an encoder puts its bytes. Write raises a std::runtime_error when
// the bytes cannot be stored; encoders pass its text on.
class TOutputSink {
  public:
    virtual ~TOutputSink() = default;
    virtual void Write(const void* data, std::size_t size) = 0;
};

class TMemorySink : public TOutputSink {
  public:
    void Write(const void* data, std::size_t size) override;
    std::vector<std::uint8_t> Bytes;
};

// Raises ECodecError with the format's name when a picture of this size is
// empty or above TBitmap::MaxPixels; nothing is allocated before.
void CheckPictureSize(std::uint64_t width, std::uint64_t height, const char* format);
// Gives a decoded picture its size and layout, raising ECodecError with the
// format's name when the size is empty or above TBitmap::MaxPixels.
void SetPictureSize(TBitmap& picture, std::uint64_t width, std::uint64_t height, int bitsPerPixel,
                    const char* format);

// The whole of a source, for decoders that need every byte at once. Raises
// ECodecError "<format>: file is truncated" on a short read, and refuses a
// source above maxBytes before allocating.
std::vector<std::uint8_t> ReadAll(TInputSource& source, std::uint64_t maxBytes, const char* format);

// One row of red, green, blue, alpha pixels composited over white into
// blue, green, red; straight (not premultiplied) alpha, rounded.
void CompositeRgbaOverWhite(const std::uint8_t* rgba, std::uint8_t* bgr, int width);

// The picture itself when it has 24 bits per pixel; else `copy`, made from
// it in 24 bits.
const TBitmap& AsRgb24(const TBitmap& picture, TBitmap& copy);
// The same pixels in a 24-bit raster of their own, copied a few rows at a
// time: gives up between rows once `cancel` is set (EStopped).
std::shared_ptr<const TBitmap> Rgb24Copy(const TBitmap& picture, const std::atomic<bool>* cancel);

// An encoder's quality for a JPEG quality step (0, 10, ... 100) from its
// table of eleven entries; a value between steps takes the nearest step, one
// outside 0..100 the nearest end.
int QualityForJpegStep(const int (&table)[11], int jpegQuality);

}  // namespace tovali
