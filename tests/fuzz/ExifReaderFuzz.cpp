// Fuzz target of the EXIF reader: any bytes go through the load, then every
// lookup runs over whatever was read, and the reader's invariants are checked.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "exif/ExifInfo.h"

using namespace tovali;

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

void VisitEntries(const TEntryItems& items, std::uint64_t streamSize) {
    std::uint64_t outOfLine = 0;
    for (int i = 0; i < items.Count(); ++i) {
        const TEntryItem& e = items.Items(i);
        Check(items.IndexOfTag(e.Tag, e.Dir) <= i);
        const std::uint32_t cells = e.ValueCount();
        if (e.DataType == etAscii || e.DataType == etUndefined) {
            Check(cells <= 1);
        } else if (e.DataType >= 1 && e.DataType <= 12) {
            Check(cells == e.Count);  // only entries read whole are kept
        } else {
            Check(cells == 0);
        }
        if (e.ValueOffset != 0 && e.DataType <= 12)
            outOfLine += std::uint64_t(TypeSize[e.DataType]) * e.Count;
        for (std::int64_t k = -1; k <= std::int64_t(cells); ++k) {
            e.AsLong(k);
            e.AsUnsigned(k);
        }
        e.AsText();
        e.AsBlock();
    }
    Check(outOfLine <= streamSize);
    TEntryItems copy;
    copy.Assign(items);
    Check(copy.Count() == items.Count());
}

void Lookups(TExifInfo& reader) {
    reader.ExifIFDOffset();
    reader.GPSIFDOffset();
    reader.InteropIFDOffset();
    reader.ThumbExifIFDOffset();
    reader.ThumbInteropIFDOffset();
    reader.Orientation();
    reader.GetDateTimeText();
    try {
        reader.GetDateTime();
    } catch (const EExifError&) {
    } catch (const EDateConvertError&) {
    }
    try {
        reader.GetTagText(0x010F, dkMain, true);
    } catch (const EExifError&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TExifInfo reader;
    TBytesStream stream(data, size);
    try {
        reader.LoadFromStream(stream);
    } catch (const EExifError&) {
    } catch (const EReadError&) {  // a JPEG header cut short
    }
    Lookups(reader);
    VisitEntries(reader.Entries(), size);
    VisitEntries(reader.ThumbEntries(), size);
    reader.SetSearchBytes(1 << 20);
    const std::int64_t found = reader.FindApp1(stream);
    Check(found == -1 || (found >= 2 && std::uint64_t(found) + 2 <= size));
    try {
        ExifDateToDateTime(std::string(reinterpret_cast<const char*>(data), size < 40 ? size : 40));
    } catch (const EExifError&) {
    } catch (const EDateConvertError&) {
    }
    return 0;
}
