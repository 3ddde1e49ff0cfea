#include <gtest/gtest.h>

#include "app/batch/UriList.h"

using namespace tovali;

TEST(UriList, LocalPathsComeBackAsTheirBytes) {
    const auto items = ParseUriList(
        "# a comment\r\n"
        "file:///tmp/%82%A0.jpg\r\n"  // Shift-JIS, not UTF-8
        "file://localhost/tmp/b%20c.png\r\n"
        "\r\n"
        "file:///tmp/%E5%86%99%E7%9C%9F.gif\n"
        "file://other-host/share/d.jpg\r\n"
        "https://example.org/e%20f.jpg?x=1\r\n"
        "file:///tmp/50%25.bmp\r\n"
        "file:///tmp/bad%zz.bmp");
    ASSERT_EQ(items.size(), 7u);
    EXPECT_TRUE(items[0].Local);
    EXPECT_EQ(items[0].Path, "/tmp/\x82\xa0.jpg");
    EXPECT_EQ(items[1].Path, "/tmp/b c.png");
    EXPECT_EQ(items[2].Path, "/tmp/写真.gif");
    EXPECT_FALSE(items[3].Local);
    EXPECT_EQ(items[3].Path, "d.jpg");
    EXPECT_FALSE(items[4].Local);
    EXPECT_EQ(items[4].Path, "e f.jpg");
    EXPECT_EQ(items[5].Path, "/tmp/50%.bmp");
    EXPECT_EQ(items[6].Path, "/tmp/bad%zz.bmp");
    EXPECT_FALSE(ParseUriList("mailto:someone@example.org")[0].Local);
    EXPECT_EQ(ParseUriList("mailto:someone@example.org")[0].Path, "mailto:someone@example.org");
}

#ifdef _WIN32
// A drive's URI names the file on that drive, in the system's own form.
TEST(UriList, WindowsDrivesComeFirst) {
    const auto items = ParseUriList("file:///C:/Users/a%20b/%E5%86%99.jpg\r\nfile:///d|/x.png\r\n");
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].Path, "C:\\Users\\a b\\写.jpg");
    EXPECT_EQ(items[1].Path, "d:\\x.png");
}
#endif
