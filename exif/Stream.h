// Byte streams the EXIF reader walks: an abstract positioned stream with the
// read error every short read raises, and a read-only view over memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>

namespace tovali {

// Raised by ReadBuffer when the stream holds fewer bytes than asked for;
// the reader's scans end on it.
class EReadError : public std::runtime_error {
  public:
    EReadError() : std::runtime_error("Stream read error") {}
};

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream {
  public:
    virtual ~TStream() = default;

    // Reads up to count bytes at the position and moves past them; returns
    // how many were read (fewer only at the end of the stream).
    virtual std::size_t Read(void* buffer, std::size_t count) = 0;
    // Moves the position; a position beyond the end is allowed (reads there
    // fail), a negative one is clamped to 0.
    virtual std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) = 0;
    virtual std::int64_t Size() const = 0;

    // Reads exactly count bytes or raises EReadError.
    void ReadBuffer(void* buffer, std::size_t count);
    std::uint8_t ReadByte();
    std::int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
    void SetPosition(std::int64_t position) { Seek(position, TSeekOrigin::soBeginning); }
    // Bytes between the position and the end (0 when beyond it).
    std::uint64_t Remaining();
};

// Read-only stream over bytes owned by the caller.
class TBytesStream : public TStream {
  public:
    TBytesStream(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::size_t Read(void* buffer, std::size_t count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
    std::int64_t Size() const override { return std::int64_t(size_); }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::int64_t position_ = 0;
};

// Shared by the streams: the new position of a seek, never negative.
std::int64_t SeekTarget(std::int64_t position, std::int64_t size, std::int64_t offset,
                        TSeekOrigin origin);

}  // namespace tovali
