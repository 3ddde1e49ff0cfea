// Windows: the date stamp reads a picture's EXIF while a decoder of the batch
// may hold the same picture open (sharing reading only). The reader must
// share in turn, or the date of such a picture fails.
#ifdef _WIN32  // Windows only, whichever way the build picks its test files
#include <gtest/gtest.h>

#include "engine/codecs/CodecIO.h"
#include "tests/exif/ExifTestUtil.h"

using namespace tovali;

using namespace exiftest;

TEST(ExifShareWin, DateOfAPictureADecoderHoldsOpen) {
    TempDir dir;
    TiffBuilder tiff(true);
    tiff.Ascii(tiff.AddIfd(), 0x0132, "2001:06:09 15:17:32");
    const std::string name = dir.File("held.jpg", ExifJpeg(tiff.Build()));
    const TInputSource decoder = TInputSource::OpenFile(name);
    TExifInfo reader;
    EXPECT_TRUE(reader.HasExif(name));
    ASSERT_EQ(LoadFile(reader, name), "");
    EXPECT_EQ(reader.GetDateTime(), ExifDateToDateTime("2001:06:09 15:17:32"));
}

#endif
