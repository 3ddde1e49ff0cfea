#include "engine/codecs/JpegCoefficients.h"

#include <jerror.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define TOVALI_PACK_X86 1
#endif

namespace tovali {

namespace {

// A row is kept as the 64-bit masks of its blocks' nonzero coefficients, one
// a block, then those coefficients, block by block in order. With the masks
// first, where a block's values start never waits on loading the masks
// before it.
constexpr std::size_t kMaskBytes = sizeof(std::uint64_t);
constexpr std::size_t kMaxPackedBlock = kMaskBytes + DCTSIZE2 * sizeof(JCOEF);
// Rows after those asked for that the library may still read.
constexpr JDIMENSION kRowsPastAccess = 2;

std::size_t PackRowPlain(const JBLOCK* blocks, std::size_t count, std::uint8_t* out) {
    std::uint8_t* value = out + kMaskBytes * count;
    for (std::size_t b = 0; b < count; ++b) {
        std::uint64_t mask = 0;
        for (int i = 0; i < DCTSIZE2; ++i) mask |= std::uint64_t(blocks[b][i] != 0) << i;
        std::memcpy(out + kMaskBytes * b, &mask, kMaskBytes);
        for (; mask; mask &= mask - 1, value += sizeof(JCOEF))
            std::memcpy(value, &blocks[b][__builtin_ctzll(mask)], sizeof(JCOEF));
    }
    return std::size_t(value - out);
}

void UnpackRowPlain(const std::uint8_t* in, JBLOCK* blocks, std::size_t count) {
    const std::uint8_t* value = in + kMaskBytes * count;
    for (std::size_t b = 0; b < count; ++b) {
        std::uint64_t mask;
        std::memcpy(&mask, in + kMaskBytes * b, kMaskBytes);
        std::memset(blocks[b], 0, sizeof(JBLOCK));
        for (; mask; mask &= mask - 1, value += sizeof(JCOEF))
            std::memcpy(&blocks[b][__builtin_ctzll(mask)], value, sizeof(JCOEF));
    }
}

#ifdef TOVALI_PACK_X86
// For each mask of eight coefficients, the byte shuffle that moves the
// nonzero ones together (pack) or back to their places (unpack), and their
// count.
struct TShuffles {
    alignas(16) std::uint8_t pack[256][16];
    alignas(16) std::uint8_t unpack[256][16];
    std::uint8_t count[256];

    TShuffles() {
        for (int mask = 0; mask < 256; ++mask) {
            std::memset(pack[mask], 0x80, 16);  // 0x80: a zero byte
            std::memset(unpack[mask], 0x80, 16);
            int n = 0;
            for (int lane = 0; lane < 8; ++lane) {
                if (!(mask >> lane & 1)) continue;
                for (int byte = 0; byte < 2; ++byte) {
                    pack[mask][2 * n + byte] = std::uint8_t(2 * lane + byte);
                    unpack[mask][2 * lane + byte] = std::uint8_t(2 * n + byte);
                }
                ++n;
            }
            count[mask] = std::uint8_t(n);
        }
    }
};

const TShuffles& Shuffles() {
    static const TShuffles shuffles;
    return shuffles;
}

__m128i Load(const void* p) {
    return _mm_loadu_si128(static_cast<const __m128i*>(p));
}

// Eight coefficients a step, each group shuffled in one instruction; whole
// groups are stored and loaded, up to 16 bytes past the packed values.
__attribute__((target("ssse3"))) std::size_t PackSsse3(const JBLOCK* blocks, std::size_t count,
                                                       std::uint8_t* out) {
    const TShuffles& t = Shuffles();
    const __m128i zero = _mm_setzero_si128();
    std::uint8_t* value = out + kMaskBytes * count;
    for (std::size_t b = 0; b < count; ++b) {
        std::uint64_t bits = 0;
        for (int q = 0; q < 8; ++q) {
            const __m128i v = Load(blocks[b] + 8 * q);
            const __m128i zeros = _mm_cmpeq_epi16(v, zero);
            const unsigned nonzero =
                ~unsigned(_mm_movemask_epi8(_mm_packs_epi16(zeros, zeros))) & 0xFFu;
            bits |= std::uint64_t(nonzero) << (8 * q);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(value),
                             _mm_shuffle_epi8(v, Load(t.pack[nonzero])));
            value += 2 * t.count[nonzero];
        }
        std::memcpy(out + kMaskBytes * b, &bits, kMaskBytes);
    }
    return std::size_t(value - out);
}

__attribute__((target("ssse3"))) void UnpackSsse3(const std::uint8_t* in, JBLOCK* blocks,
                                                  std::size_t count) {
    const TShuffles& t = Shuffles();
    const std::uint8_t* value = in + kMaskBytes * count;
    for (std::size_t b = 0; b < count; ++b) {
        std::uint64_t bits;
        std::memcpy(&bits, in + kMaskBytes * b, kMaskBytes);
        for (int q = 0; q < 8; ++q) {
            const unsigned nonzero = unsigned(bits >> (8 * q)) & 0xFFu;
            _mm_storeu_si128(reinterpret_cast<__m128i*>(blocks[b] + 8 * q),
                             _mm_shuffle_epi8(Load(value), Load(t.unpack[nonzero])));
            value += 2 * t.count[nonzero];
        }
    }
}

// Half a block (32 coefficients) a step, with the compress and expand
// instructions doing the shuffles; whole halves are stored and loaded, up to
// 64 bytes past the packed values.
#define TOVALI_AVX512 __attribute__((target("avx512f,avx512bw,avx512vbmi2,popcnt")))

TOVALI_AVX512 std::size_t PackAvx512(const JBLOCK* blocks, std::size_t count, std::uint8_t* out) {
    std::uint8_t* value = out + kMaskBytes * count;
    for (std::size_t b = 0; b < count; ++b) {
        const __m512i low = _mm512_loadu_si512(blocks[b]);
        const __m512i high = _mm512_loadu_si512(blocks[b] + 32);
        const __mmask32 lowBits = _mm512_test_epi16_mask(low, low);
        const __mmask32 highBits = _mm512_test_epi16_mask(high, high);
        const std::uint64_t bits = std::uint64_t(highBits) << 32 | lowBits;
        std::memcpy(out + kMaskBytes * b, &bits, kMaskBytes);
        _mm512_storeu_si512(value, _mm512_maskz_compress_epi16(lowBits, low));
        value += 2 * _mm_popcnt_u32(lowBits);
        _mm512_storeu_si512(value, _mm512_maskz_compress_epi16(highBits, high));
        value += 2 * _mm_popcnt_u32(highBits);
    }
    return std::size_t(value - out);
}

TOVALI_AVX512 void UnpackAvx512(const std::uint8_t* in, JBLOCK* blocks, std::size_t count) {
    const std::uint8_t* value = in + kMaskBytes * count;
    for (std::size_t b = 0; b < count; ++b) {
        std::uint64_t bits;
        std::memcpy(&bits, in + kMaskBytes * b, kMaskBytes);
        const auto lowBits = __mmask32(bits), highBits = __mmask32(bits >> 32);
        __m512i low = _mm512_loadu_si512(value);
        value += 2 * _mm_popcnt_u32(lowBits);
        __m512i high = _mm512_loadu_si512(value);
        value += 2 * _mm_popcnt_u32(highBits);
        // Kept as whole loads: the expanding load the compiler would fuse
        // them into is far slower.
        asm("" : "+v"(low), "+v"(high));
        _mm512_storeu_si512(blocks[b], _mm512_maskz_expand_epi16(lowBits, low));
        _mm512_storeu_si512(blocks[b] + 32, _mm512_maskz_expand_epi16(highBits, high));
    }
}
#endif

// One row slot of unpacked blocks, and the row it holds.
struct TSlot {
    std::unique_ptr<JBLOCK[]> blocks;
    JDIMENSION row = 0;
    bool holds = false;
    bool dirty = false;
};

// One packed row: the blocks' bytes back to back; empty for a row never
// written (all zero).
struct TPackedRow {
    std::unique_ptr<std::uint8_t[]> bytes;
    std::size_t size = 0;
};

}  // namespace

std::vector<TPackKernel> SupportedPackKernels() {
    std::vector<TPackKernel> kernels{TPackKernel::Plain};
#ifdef TOVALI_PACK_X86
    if (__builtin_cpu_supports("ssse3")) kernels.push_back(TPackKernel::Ssse3);
    if (__builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vbmi2") &&
        __builtin_cpu_supports("popcnt"))
        kernels.push_back(TPackKernel::Avx512);
#endif
    return kernels;
}

std::size_t PackRowWith(TPackKernel kernel, const JBLOCK* blocks, std::size_t count,
                        std::uint8_t* out) {
    switch (kernel) {
#ifdef TOVALI_PACK_X86
        case TPackKernel::Ssse3:
            return PackSsse3(blocks, count, out);
        case TPackKernel::Avx512:
            return PackAvx512(blocks, count, out);
#endif
        default:
            return PackRowPlain(blocks, count, out);
    }
}

void UnpackRowWith(TPackKernel kernel, const std::uint8_t* in, JBLOCK* blocks, std::size_t count) {
    switch (kernel) {
#ifdef TOVALI_PACK_X86
        case TPackKernel::Ssse3:
            return UnpackSsse3(in, blocks, count);
        case TPackKernel::Avx512:
            return UnpackAvx512(in, blocks, count);
#endif
        default:
            return UnpackRowPlain(in, blocks, count);
    }
}

namespace {

// The best kernel this processor runs, chosen once.
TPackKernel BestKernel() {
    static const TPackKernel best = [] {
        const std::vector<TPackKernel> kernels = SupportedPackKernels();
        return kernels.back();
    }();
    return best;
}

}  // namespace

bool PackingSavesTime() {
    return BestKernel() == TPackKernel::Avx512;
}

std::size_t PackedRowCapacity(std::size_t count) {
    return kMaxPackedBlock * count + kPackSlack;
}

struct TJpegCoefficientStore::TArray {
    JDIMENSION width = 0;      // blocks a row
    JDIMENSION maxAccess = 0;  // rows the library said it asks for at a time
    std::vector<TPackedRow> rows;
    std::vector<TSlot> slots;  // row r lives in slot r % slots.size()
    std::vector<JBLOCKROW> pointers;
    std::unique_ptr<std::uint8_t[]> scratch;  // one row packed

    void Pack(TSlot& slot) {
        const std::size_t size = PackRowWith(BestKernel(), slot.blocks.get(), width, scratch.get());
        TPackedRow& row = rows[slot.row];
        if (size > row.size || size < row.size / 2)
            row.bytes.reset(new std::uint8_t[size + kPackSlack]);
        std::memcpy(row.bytes.get(), scratch.get(), size);
        row.size = size;
        slot.dirty = false;
    }

    void Unpack(TSlot& slot, JDIMENSION r) {
        const TPackedRow& row = rows[r];
        if (row.size == 0)
            std::memset(slot.blocks.get(), 0, sizeof(JBLOCK) * width);
        else
            UnpackRowWith(BestKernel(), row.bytes.get(), slot.blocks.get(), width);
        slot.row = r;
        slot.holds = true;
    }

    // The rows asked for, and for reading only the few after them that the
    // library's block smoothing also looks at (its own arrays lie whole in
    // memory, so it can).
    JBLOCKARRAY Access(JDIMENSION start, JDIMENSION count, bool writable) {
        const JDIMENSION end = std::min(JDIMENSION(rows.size()), start + count + kRowsPastAccess);
        for (JDIMENSION r = start; r < end; ++r) {
            TSlot& slot = slots[r % slots.size()];
            if (!slot.holds || slot.row != r) {
                if (slot.dirty) Pack(slot);
                Unpack(slot, r);
            }
            slot.dirty = slot.dirty || (writable && r < start + count);
            pointers[r - start] = slot.blocks.get();
        }
        return pointers.data();
    }
};

TJpegCoefficientStore::TJpegCoefficientStore() = default;
TJpegCoefficientStore::~TJpegCoefficientStore() = default;

void TJpegCoefficientStore::Install(jpeg_decompress_struct& cinfo) {
    cinfo.client_data = this;
    cinfo.mem->request_virt_barray = Request;
    cinfo.mem->access_virt_barray = Access;
}

std::size_t TJpegCoefficientStore::PackedBytes() const {
    std::size_t bytes = 0;
    for (const auto& array : arrays_) {
        for (const TPackedRow& row : array->rows) bytes += row.size;
    }
    return bytes;
}

// Both hooks are called from inside the library: C++ failures become the
// library's own errors, raised once nothing here needs unwinding.
namespace {
[[noreturn]] void Fail(j_common_ptr cinfo, bool outOfMemory) {
    cinfo->err->msg_code = outOfMemory ? JERR_OUT_OF_MEMORY : JERR_BAD_VIRTUAL_ACCESS;
    (*cinfo->err->error_exit)(cinfo);
    std::abort();  // error_exit never returns
}
}  // namespace

jvirt_barray_ptr TJpegCoefficientStore::Request(j_common_ptr cinfo, int pool, boolean,
                                                JDIMENSION blocksPerRow, JDIMENSION rows,
                                                JDIMENSION access) {
    auto* store = static_cast<TJpegCoefficientStore*>(cinfo->client_data);
    TArray* made = nullptr;
    bool outOfMemory = false;
    // A slot for every row one access touches: those asked for and the
    // few after them, never more than the array holds.
    const JDIMENSION slots = std::min(access + kRowsPastAccess, rows);
    if (pool == JPOOL_IMAGE && blocksPerRow > 0 && access > 0 && slots > 0) {
        try {
            auto array = std::make_unique<TArray>();
            array->width = blocksPerRow;
            array->maxAccess = access;
            array->rows.resize(rows);
            array->slots.resize(slots);
            for (TSlot& slot : array->slots) slot.blocks.reset(new JBLOCK[blocksPerRow]);
            array->pointers.resize(slots);
            array->scratch.reset(new std::uint8_t[PackedRowCapacity(blocksPerRow)]);
            made = array.get();
            store->arrays_.push_back(std::move(array));
        } catch (const std::bad_alloc&) {
            outOfMemory = true;
            made = nullptr;
        }
    }
    if (!made) Fail(cinfo, outOfMemory);
    return reinterpret_cast<jvirt_barray_ptr>(made);
}

JBLOCKARRAY TJpegCoefficientStore::Access(j_common_ptr cinfo, jvirt_barray_ptr handle,
                                          JDIMENSION start, JDIMENSION count, boolean writable) {
    auto* array = reinterpret_cast<TArray*>(handle);
    JBLOCKARRAY rows = nullptr;
    bool outOfMemory = false;
    // Held to the library's own rule, which also keeps every row one access
    // touches in a slot of its own.
    if (array && count <= array->maxAccess && start <= array->rows.size() &&
        count <= array->rows.size() - start) {
        try {
            rows = array->Access(start, count, writable != FALSE);
        } catch (const std::bad_alloc&) {
            outOfMemory = true;
        }
    }
    if (!rows) Fail(cinfo, outOfMemory);
    return rows;
}

}  // namespace tovali
