// Files opened by name for the EXIF reader, with the open modes of the
// original Windows program: on Windows CreateFileW on the UTF-16 name, on
// Linux the POSIX calls. Names are kept as WidePath.h says.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "exif/Stream.h"

namespace tovali {

// A file descriptor (on Windows a C runtime descriptor on the file's handle);
// negative means no file.
using THandle = int;
constexpr THandle kNoHandle = -1;

// Open modes: the access in the low 2 bits, the sharing in bits 4 to 7.
// On Windows the sharing bits decide what
// others may do while the file is open; Linux has no sharing modes, so there
// they only take part in the mode check: they lock nothing.
constexpr std::uint16_t fmOpenRead = 0x0000;
constexpr std::uint16_t fmOpenWrite = 0x0001;
constexpr std::uint16_t fmOpenReadWrite = 0x0002;
constexpr std::uint16_t fmShareCompat = 0x0000;
constexpr std::uint16_t fmShareExclusive = 0x0010;
constexpr std::uint16_t fmShareDenyWrite = 0x0020;
constexpr std::uint16_t fmShareDenyRead = 0x0030;
constexpr std::uint16_t fmShareDenyNone = 0x0040;

// Raised when a stream cannot be opened.
class EFOpenError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Opens an existing file. A mode whose access is above 2 or whose sharing
// bits are above 0x40 fails (EINVAL) without reaching the system. A folder
// cannot be opened (EISDIR).
THandle WideFileOpen(const std::string& name, std::uint16_t mode);
// True when the name is an existing file other than a folder.
bool WideFileExists(const std::string& name);

// Opens a picture for reading without ever waiting: a named pipe, socket or
// device given in its place would block the first open or read for good, so
// the open does not wait and anything that is not a regular file (on
// Windows: what GetFileType does not call a disk file, such as NUL, CON or
// \\.\pipe\...) is refused on the opened descriptor (EISDIR for a folder,
// ENODEV otherwise). Others may still read the file while it is open.
// Returns the descriptor or -1 with errno set; read from that descriptor only.
THandle OpenRegularFile(const std::string& name);

// The byte size of an open file, or -1 with errno set.
std::int64_t HandleSize(THandle handle);

// A stream on a file descriptor. Reads go through a small buffer, since the
// EXIF reader reads one byte at a time.
class THandleStream : public TStream {
  public:
    explicit THandleStream(THandle handle);
    THandleStream(const THandleStream&) = delete;
    THandleStream& operator=(const THandleStream&) = delete;

    std::size_t Read(void* buffer, std::size_t count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
    std::int64_t Size() const override;
    THandle Handle() const { return handle_; }

  protected:
    THandle handle_;

  private:
    bool Fill();

    std::int64_t position_ = 0;
    std::int64_t size_ = 0;
    std::vector<std::uint8_t> buffer_;
    std::size_t bufferLength_ = 0;
    std::int64_t bufferStart_ = 0;
};

class TWideFileStream : public THandleStream {
  public:
    // Opens an existing file in the mode. Raises EFOpenError "Cannot open file "<absolute path>"：
    // <system message>" when that fails.
    TWideFileStream(const std::string& fileName, std::uint16_t mode);
    ~TWideFileStream() override;

    const std::string& FileName() const { return fileName_; }

  private:
    std::string fileName_;
};

}  // namespace tovali
