#include "exif/Stream.h"

#include <algorithm>
#include <cstring>

namespace tovali {

void TStream::ReadBuffer(void* buffer, std::size_t count) {
    if (count != 0 && Read(buffer, count) != count) throw EReadError();
}

std::uint8_t TStream::ReadByte() {
    std::uint8_t b;
    ReadBuffer(&b, 1);
    return b;
}

std::uint64_t TStream::Remaining() {
    const std::int64_t position = Position();
    const std::int64_t size = Size();
    return position < size ? std::uint64_t(size - position) : 0;
}

std::int64_t SeekTarget(std::int64_t position, std::int64_t size, std::int64_t offset,
                        TSeekOrigin origin) {
    std::int64_t base = 0;
    if (origin == TSeekOrigin::soCurrent) base = position;
    if (origin == TSeekOrigin::soEnd) base = size;
    // Offsets come from file data; keep the sum from overflowing.
    if (offset > 0 && base > INT64_MAX - offset) return INT64_MAX;
    return std::max<std::int64_t>(0, base + offset);
}

std::size_t TBytesStream::Read(void* buffer, std::size_t count) {
    if (position_ >= std::int64_t(size_)) return 0;
    const std::size_t n = std::min(count, size_ - std::size_t(position_));
    std::memcpy(buffer, data_ + position_, n);
    position_ += std::int64_t(n);
    return n;
}

std::int64_t TBytesStream::Seek(std::int64_t offset, TSeekOrigin origin) {
    position_ = SeekTarget(position_, std::int64_t(size_), offset, origin);
    return position_;
}

}  // namespace tovali
