// Builds small TIFF structures and EXIF JPEG files byte by byte, in either
// byte order, for the reader's tests.
#pragma once

#include <stdlib.h>
#ifdef _WIN32
#include <process.h>
#endif

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace tovali {

namespace exiftest {

using Bytes = std::vector<std::uint8_t>;

class TiffBuilder {
  public:
    explicit TiffBuilder(bool littleEndian) : little_(littleEndian) {}

    // Adds a directory; the first one is IFD0.
    int AddIfd() {
        ifds_.emplace_back();
        return int(ifds_.size()) - 1;
    }
    // An entry with its values already in the file's byte order.
    void Raw(int ifd, std::uint16_t tag, std::uint16_t type, std::uint32_t count, Bytes value) {
        ifds_[std::size_t(ifd)].entries.push_back(
            {tag, type, count, std::move(value), -1, 0, false});
    }
    // An entry whose value field holds the given offset, whatever its size.
    void AtOffset(int ifd, std::uint16_t tag, std::uint16_t type, std::uint32_t count,
                  std::uint32_t offset) {
        ifds_[std::size_t(ifd)].entries.push_back({tag, type, count, {}, -1, offset, true});
    }
    void Ascii(int ifd, std::uint16_t tag, const std::string& text) {
        Bytes b(text.begin(), text.end());
        b.push_back(0);
        Raw(ifd, tag, 2, std::uint32_t(b.size()), b);
    }
    void Shorts(int ifd, std::uint16_t tag, const std::vector<std::uint16_t>& values) {
        Bytes b;
        for (auto v : values) Put(b, v, 2);
        Raw(ifd, tag, 3, std::uint32_t(values.size()), b);
    }
    void Longs(int ifd, std::uint16_t tag, const std::vector<std::uint32_t>& values) {
        Bytes b;
        for (auto v : values) Put(b, v, 4);
        Raw(ifd, tag, 4, std::uint32_t(values.size()), b);
    }
    // A LONG entry pointing at another directory.
    void Pointer(int ifd, std::uint16_t tag, int target) {
        ifds_[std::size_t(ifd)].entries.push_back({tag, 4, 1, {}, target, 0, false});
    }
    void Next(int ifd, int target) { ifds_[std::size_t(ifd)].next = target; }

    // Appends a value of the given width in the builder's byte order.
    void Put(Bytes& out, std::uint64_t value, int width) const {
        for (int i = 0; i < width; ++i) {
            const int shift = little_ ? 8 * i : 8 * (width - 1 - i);
            out.push_back(std::uint8_t(value >> shift));
        }
    }

    Bytes Build() const {
        std::vector<std::uint32_t> ifdOffsets;
        std::uint32_t pos = 8;
        for (const auto& ifd : ifds_) {
            ifdOffsets.push_back(pos);
            pos += 2 + 12 * std::uint32_t(ifd.entries.size()) + 4;
        }
        Bytes out = little_ ? Bytes{'I', 'I', 42, 0} : Bytes{'M', 'M', 0, 42};
        Put(out, ifds_.empty() ? 0 : 8, 4);
        Bytes data;
        for (std::size_t i = 0; i < ifds_.size(); ++i) {
            const auto& ifd = ifds_[i];
            Put(out, ifd.entries.size(), 2);
            for (const auto& e : ifd.entries) {
                Put(out, e.tag, 2);
                Put(out, e.type, 2);
                Put(out, e.count, 4);
                if (e.target >= 0) {
                    Put(out, ifdOffsets[std::size_t(e.target)], 4);
                } else if (e.fixedOffset) {
                    Put(out, e.offset, 4);
                } else if (e.value.size() <= 4) {
                    Bytes v = e.value;
                    v.resize(4, 0);
                    out.insert(out.end(), v.begin(), v.end());
                } else {
                    Put(out, pos + data.size(), 4);
                    data.insert(data.end(), e.value.begin(), e.value.end());
                }
            }
            Put(out, ifd.next >= 0 ? ifdOffsets[std::size_t(ifd.next)] : 0, 4);
        }
        out.insert(out.end(), data.begin(), data.end());
        return out;
    }

  private:
    struct Entry {
        std::uint16_t tag;
        std::uint16_t type;
        std::uint32_t count;
        Bytes value;
        int target;
        std::uint32_t offset;
        bool fixedOffset;
    };
    struct Ifd {
        std::vector<Entry> entries;
        int next = -1;
    };
    bool little_;
    std::vector<Ifd> ifds_;
};

inline void PutBigEndian(Bytes& out, std::uint32_t value, int width) {
    for (int i = width - 1; i >= 0; --i) out.push_back(std::uint8_t(value >> (8 * i)));
}

// A segment: marker, big-endian length (payload + 2), payload.
inline Bytes Segment(std::uint16_t marker, const Bytes& payload) {
    Bytes out;
    PutBigEndian(out, marker, 2);
    PutBigEndian(out, std::uint32_t(payload.size() + 2), 2);
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

inline Bytes App1Payload(const Bytes& tiff) {
    Bytes payload{'E', 'x', 'i', 'f', 0, 0};
    payload.insert(payload.end(), tiff.begin(), tiff.end());
    return payload;
}

// A start-of-frame segment of the given size (one component).
inline Bytes Sof(std::uint16_t marker, int width, int height) {
    Bytes payload{8};
    PutBigEndian(payload, std::uint32_t(height), 2);
    PutBigEndian(payload, std::uint32_t(width), 2);
    payload.insert(payload.end(), {1, 1, 0x11, 0});
    return Segment(marker, payload);
}

struct JpegLayout {
    bool app0First = false;  // a JFIF APP0 before the APP1
    bool sofFirst = false;   // the frame header before the APP1 (found by the scan)
    int width = 64;
    int height = 48;
};

// SOI, [APP0], APP1 "Exif" with the TIFF bytes, SOF, EOI. An APP1 too
// long for its length field needs sofFirst, or the frame is not found.
inline Bytes ExifJpeg(const Bytes& tiff, JpegLayout layout = {}) {
    Bytes out{0xFF, 0xD8};
    auto append = [&](const Bytes& b) { out.insert(out.end(), b.begin(), b.end()); };
    if (layout.app0First)
        append(Segment(0xFFE0, {'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0}));
    if (layout.sofFirst) append(Sof(0xFFC0, layout.width, layout.height));
    append(Segment(0xFFE1, App1Payload(tiff)));
    if (!layout.sofFirst) append(Sof(0xFFC0, layout.width, layout.height));
    out.insert(out.end(), {0xFF, 0xD9});
    return out;
}

inline void WriteFile(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// A fresh folder under the system's temporary folder, removed at the end.
class TempDir {
  public:
#ifdef _WIN32
    TempDir() {
        static int counter = 0;
        path_ = std::filesystem::temp_directory_path() /
                ("tovali-" + std::to_string(_getpid()) + "-" + std::to_string(counter++));
        std::filesystem::create_directories(path_);
    }
#else
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "tovali-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
#endif
    ~TempDir() {
        std::error_code ec;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& Path() const {
        return path_;
    }
    std::string File(const std::string& name, const Bytes& bytes) const {
        WriteFile(path_ / name, bytes);
        return (path_ / name).string();
    }

  private:
    std::filesystem::path path_;
};

}  // namespace exiftest

}  // namespace tovali
