// A compact home for the coefficients of a progressive JPEG.
//
// libjpeg keeps every DCT coefficient of a progressive picture from its
// first scan to its last: two bytes a sample, more than a 24-bit raster of
// the same picture (twice as much for 4:4:4). Most coefficients are zero, so
// this store keeps each row of blocks packed: per block a 64-bit mask of its
// nonzero coefficients and then those coefficients alone. It takes the place
// of the library's virtual block arrays through the memory manager's own
// method table, and unpacks only the few block rows the library works on at
// a time (at most the rows it asked for when it requested the array): a row
// is unpacked into its slot when first touched and packed again when the slot
// is wanted for another row. The rows the library sees are exactly the rows
// it wrote, so the decoded picture is the same, bit for bit, as with the
// library's own arrays.
//
// A damaged file can fill every coefficient; the store then costs at most
// 8 bytes a block more than the library's arrays.
#pragma once

// clang-format off
#include <cstdio>
#include <jpeglib.h>
// clang-format on

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace tovali {

class TJpegCoefficientStore {
  public:
    TJpegCoefficientStore();
    ~TJpegCoefficientStore();
    TJpegCoefficientStore(const TJpegCoefficientStore&) = delete;
    TJpegCoefficientStore& operator=(const TJpegCoefficientStore&) = delete;

    // Takes over the decompressor's block arrays; call after the header is
    // read and before jpeg_start_decompress. The store must outlive every
    // call into the library for that decompressor. Uses cinfo.client_data.
    void Install(jpeg_decompress_struct& cinfo);

    // The bytes the packed rows hold now.
    std::size_t PackedBytes() const;

    struct TArray;

  private:
    static jvirt_barray_ptr Request(j_common_ptr cinfo, int pool, boolean preZero,
                                    JDIMENSION blocksPerRow, JDIMENSION rows, JDIMENSION access);
    static JBLOCKARRAY Access(j_common_ptr cinfo, jvirt_barray_ptr array, JDIMENSION start,
                              JDIMENSION count, boolean writable);

    std::vector<std::unique_ptr<TArray>> arrays_;
};

// A row of blocks packed and unpacked by one kernel: packing writes at most
// PackedRowCapacity(count) bytes and returns the bytes the row takes;
// unpacking reads up to kPackSlack bytes past them. Every kernel gives the
// same bytes; the vector ones are held to the plain one, the reference.
enum class TPackKernel { Plain, Ssse3, Avx512 };
constexpr std::size_t kPackSlack = 64;
// The kernels this processor runs, the best last (the one the store uses).
std::vector<TPackKernel> SupportedPackKernels();
// Whether the best kernel here packs and unpacks in less time than the
// library spends on the fresh pages of its own arrays (so far: AVX-512).
bool PackingSavesTime();
std::size_t PackedRowCapacity(std::size_t count);
std::size_t PackRowWith(TPackKernel kernel, const JBLOCK* blocks, std::size_t count,
                        std::uint8_t* out);
void UnpackRowWith(TPackKernel kernel, const std::uint8_t* in, JBLOCK* blocks, std::size_t count);

}  // namespace tovali
