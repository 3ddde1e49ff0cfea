#include "engine/codecs/CodecIO.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "engine/codecs/Stoppable.h"
#include "exif/WideFileUtils.h"

namespace tovali {

namespace {

[[noreturn]] void FailToOpen(const std::string& path, const char* reason) {
    throw ECodecError("cannot open file \"" + path + "\": " + reason);
}

// The C runtime's calls on a descriptor, which Windows names with an
// underscore; its fseeko has only 32 bits of offset.
std::FILE* BinaryStreamOn(int fd) {
#ifdef _WIN32
    return _fdopen(fd, "rb");
#else
    return fdopen(fd, "rb");
#endif
}

void CloseDescriptor(int fd) {
#ifdef _WIN32
    _close(fd);
#else
    close(fd);
#endif
}

int SeekFile(std::FILE* file, std::uint64_t offset) {
#ifdef _WIN32
    return _fseeki64(file, std::int64_t(offset), SEEK_SET);
#else
    return fseeko(file, off_t(offset), SEEK_SET);
#endif
}

}  // namespace

TInputSource TInputSource::OpenFile(const std::string& path) {
    const int fd = OpenRegularFile(path);
    if (fd < 0) FailToOpen(path, errno == ENODEV ? "not a regular file" : std::strerror(errno));
    const std::int64_t size = HandleSize(fd);
    if (size < 0) {
        CloseDescriptor(fd);
        FailToOpen(path, std::strerror(errno));
    }
    TInputSource source;
    source.file_ = BinaryStreamOn(fd);
    if (!source.file_) {
        CloseDescriptor(fd);
        FailToOpen(path, std::strerror(errno));
    }
    source.size_ = std::uint64_t(size);
    return source;
}

TInputSource::TInputSource(const void* data, std::size_t size)
    : memory_(static_cast<const std::uint8_t*>(data)), size_(size) {}

TInputSource::TInputSource(TInputSource&& other) noexcept
    : file_(std::exchange(other.file_, nullptr)),
      memory_(other.memory_),
      size_(other.size_),
      position_(other.position_) {}

TInputSource::~TInputSource() {
    if (file_) std::fclose(file_);
}

void TInputSource::Seek(std::uint64_t offset) {
    if (offset > size_) throw ECodecError("offset beyond the end of the file");
    if (file_ && SeekFile(file_, offset) != 0)
        throw ECodecError(std::string("cannot read file: ") + std::strerror(errno));
    position_ = offset;
}

std::size_t TInputSource::Read(void* buffer, std::size_t count) {
    if (count > Remaining()) count = std::size_t(Remaining());
    std::size_t got = count;
    if (file_) {
        got = std::fread(buffer, 1, count, file_);
    } else if (count) {
        std::memcpy(buffer, memory_ + position_, count);
    }
    position_ += got;
    return got;
}

void TInputSource::ReadExact(void* buffer, std::size_t count, const char* what) {
    if (Read(buffer, count) != count) throw ECodecError(std::string(what) + ": file is truncated");
}

void TMemorySink::Write(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    Bytes.insert(Bytes.end(), bytes, bytes + size);
}

void CheckPictureSize(std::uint64_t width, std::uint64_t height, const char* format) {
    if (width == 0 || height == 0) throw ECodecError(std::string(format) + ": picture is empty");
    if (width > TBitmap::MaxPixels || height > TBitmap::MaxPixels ||
        width * height > TBitmap::MaxPixels) {
        throw ECodecError(std::string(format) + ": picture of " + std::to_string(width) + " x " +
                          std::to_string(height) + " pixels is too large");
    }
}

void SetPictureSize(TBitmap& picture, std::uint64_t width, std::uint64_t height, int bitsPerPixel,
                    const char* format) {
    CheckPictureSize(width, height, format);
    picture.SetSize(int(width), int(height), bitsPerPixel);
}

std::vector<std::uint8_t> ReadAll(TInputSource& source, std::uint64_t maxBytes,
                                  const char* format) {
    if (source.Remaining() > maxBytes)
        throw ECodecError(std::string(format) + ": file is too large");
    std::vector<std::uint8_t> bytes(std::size_t(source.Remaining()));
    source.ReadExact(bytes.data(), bytes.size(), format);
    return bytes;
}

void CompositeRgbaOverWhite(const std::uint8_t* rgba, std::uint8_t* bgr, int width) {
    for (int x = 0; x < width; ++x, rgba += 4, bgr += 3) {
        const int a = rgba[3], white = 255 * (255 - a);
        bgr[0] = std::uint8_t((rgba[2] * a + white + 127) / 255);
        bgr[1] = std::uint8_t((rgba[1] * a + white + 127) / 255);
        bgr[2] = std::uint8_t((rgba[0] * a + white + 127) / 255);
    }
}

const TBitmap& AsRgb24(const TBitmap& picture, TBitmap& copy) {
    if (picture.BitsPerPixel() == 24) return picture;
    copy.Assign(picture);
    copy.ConvertTo24();
    return copy;
}

std::shared_ptr<const TBitmap> Rgb24Copy(const TBitmap& picture, const std::atomic<bool>* cancel) {
    auto copy = std::make_shared<TBitmap>();
    if (picture.BitsPerPixel() != 24) {
        copy->Assign(picture);
        copy->ConvertTo24(cancel);
        return copy;
    }
    copy->SetSize(picture.Width(), picture.Height(), 24);
    for (int y = 0; y < picture.Height(); ++y) {
        if (y % kRowsPerStopLook == kRowsPerStopLook - 1) ThrowIfStopped(cancel, "stopped");
        std::memcpy(copy->ScanLine(y), picture.ScanLine(y), picture.Stride());
    }
    return copy;
}

int QualityForJpegStep(const int (&table)[11], int jpegQuality) {
    return table[(std::clamp(jpegQuality, 0, 100) + 5) / 10];
}

}  // namespace tovali
