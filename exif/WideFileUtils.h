// Files opened by name for the EXIF reader, with the open modes of the
// original Windows program mapped onto POSIX calls. Names are UTF-8 paths.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "Stream.h"

// A file descriptor; negative means no file.
using THandle = int;
constexpr THandle INVALID_HANDLE_VALUE = -1;

// Open modes: the access in the low 2 bits, the sharing in bits 4 to 7;
// fmCreate creates or truncates. Linux has no sharing modes, so the sharing
// bits only take part in the mode check: they lock nothing.
constexpr std::uint16_t fmCreate = 0xFFFF;
constexpr std::uint16_t fmOpenRead = 0x0000;
constexpr std::uint16_t fmOpenWrite = 0x0001;
constexpr std::uint16_t fmOpenReadWrite = 0x0002;
constexpr std::uint16_t fmShareCompat = 0x0000;
constexpr std::uint16_t fmShareExclusive = 0x0010;
constexpr std::uint16_t fmShareDenyWrite = 0x0020;
constexpr std::uint16_t fmShareDenyRead = 0x0030;
constexpr std::uint16_t fmShareDenyNone = 0x0040;

// Raised when a stream cannot be opened or created.
class EFOpenError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Creates the file, or truncates an existing one, for reading and writing.
THandle WideFileCreate(const std::string& name);
// Opens an existing file. A mode whose access is above 2 or whose sharing
// bits are above 0x40 fails (EINVAL) without reaching the system. A folder
// cannot be opened (EISDIR).
THandle WideFileOpen(const std::string& name, std::uint16_t mode);
// True when the name is an existing file other than a folder.
bool WideFileExists(const std::string& name);

// Opens a picture for reading without ever waiting: a named pipe, socket or
// device given in its place would block the first open or read for good, so
// the open does not wait and anything that is not a regular file is refused
// on the opened descriptor (EISDIR for a folder, ENODEV otherwise). Returns
// the descriptor or -1 with errno set; read from that descriptor only.
THandle OpenRegularFile(const std::string& name);

// A stream on a file descriptor. Reads go through a small buffer, since the
// EXIF reader reads one byte at a time.
class THandleStream : public TStream {
  public:
    explicit THandleStream(THandle handle);
    THandleStream(const THandleStream&) = delete;
    THandleStream& operator=(const THandleStream&) = delete;

    std::size_t Read(void* buffer, std::size_t count) override;
    // Writes at the position; returns how many bytes were written.
    std::size_t Write(const void* buffer, std::size_t count);
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
    // Mode fmCreate creates or truncates the file; any other mode opens an
    // existing one. Raises EFOpenError "Cannot open file "<absolute path>"：
    // <system message>" when that fails.
    TWideFileStream(const std::string& fileName, std::uint16_t mode);
    ~TWideFileStream() override;

    const std::string& FileName() const { return fileName_; }

  private:
    std::string fileName_;
};
