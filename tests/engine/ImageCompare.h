// Test helpers for pictures: colour-by-colour comparison that names the
// first differing pixel, a reference decode through Qt's own image readers,
// and small file utilities.
#pragma once

#include <gtest/gtest.h>

#include <QImage>
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "engine/Raster.h"
#include "exif/WidePath.h"

#ifdef _WIN32
#include <process.h>
#endif

namespace tovali {

inline std::string DataFile(const std::string& relative) {
    return std::string(TOVALI_TEST_DATA) + "/" + relative;
}

inline std::vector<std::uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(FileSystemPath(path), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(FileSystemPath(path), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

inline std::string ColourText(TColor c) {
    std::ostringstream s;
    s << "(" << int(GetRValue(c)) << "," << int(GetGValue(c)) << "," << int(GetBValue(c)) << ")";
    return s.str();
}

// Same size and, within `tolerance` per channel, the same colour everywhere.
inline ::testing::AssertionResult SameColours(const TBitmap& actual, const TBitmap& expected,
                                              int tolerance = 0) {
    if (actual.Width() != expected.Width() || actual.Height() != expected.Height()) {
        return ::testing::AssertionFailure()
               << "size " << actual.Width() << "x" << actual.Height() << ", expected "
               << expected.Width() << "x" << expected.Height();
    }
    for (int y = 0; y < actual.Height(); ++y) {
        for (int x = 0; x < actual.Width(); ++x) {
            const TColor a = actual.GetPixel(x, y), e = expected.GetPixel(x, y);
            if (std::abs(GetRValue(a) - GetRValue(e)) > tolerance ||
                std::abs(GetGValue(a) - GetGValue(e)) > tolerance ||
                std::abs(GetBValue(a) - GetBValue(e)) > tolerance) {
                return ::testing::AssertionFailure()
                       << "first difference at (" << x << "," << y << "): " << ColourText(a)
                       << ", expected " << ColourText(e);
            }
        }
    }
    return ::testing::AssertionSuccess();
}

// Mean absolute channel difference of two rasters of the same size: for
// lossy formats, where single pixels near sharp edges may differ a lot.
inline double MeanDifference(const TBitmap& a, const TBitmap& b) {
    double sum = 0;
    for (int y = 0; y < a.Height(); ++y) {
        for (int x = 0; x < a.Width(); ++x) {
            const TColor p = a.GetPixel(x, y), q = b.GetPixel(x, y);
            sum += std::abs(GetRValue(p) - GetRValue(q)) + std::abs(GetGValue(p) - GetGValue(q)) +
                   std::abs(GetBValue(p) - GetBValue(q));
        }
    }
    return sum / (3.0 * a.Width() * a.Height());
}

// A picture as Qt's readers decode it, composited over white, as 24 bits.
inline void QtReference(const std::string& path, TBitmap& out) {
    QImage image(QString::fromStdString(path));
    if (image.isNull()) ADD_FAILURE() << "Qt cannot read " << path;
    image = image.convertToFormat(QImage::Format_ARGB32);
    out.SetSize(image.width(), image.height(), 24);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            const int a = qAlpha(p), white = 255 * (255 - a);
            out.SetPixel(x, y,
                         RGBColor(std::uint8_t((qRed(p) * a + white + 127) / 255),
                                  std::uint8_t((qGreen(p) * a + white + 127) / 255),
                                  std::uint8_t((qBlue(p) * a + white + 127) / 255)));
        }
    }
}

// A fresh folder under the system's temporary folder, removed afterwards.
class TTempDir {
  public:
#ifdef _WIN32
    TTempDir() {
        static int counter = 0;
        const std::filesystem::path base = std::filesystem::temp_directory_path();
        for (int i = 0; i < 100 && path_.empty(); ++i) {
            const std::filesystem::path candidate =
                base /
                ("tovali-test-" + std::to_string(_getpid()) + "-" + std::to_string(counter++));
            std::error_code ec;
            if (std::filesystem::create_directory(candidate, ec)) path_ = PathText(candidate);
        }
        EXPECT_FALSE(path_.empty());
    }
#else
    TTempDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "tovali-test-XXXXXX").string();
        path_ = mkdtemp(pattern.data()) ? pattern : std::string();
        EXPECT_FALSE(path_.empty());
    }
#endif
    ~TTempDir() {
        std::error_code ignored;
#ifdef _WIN32
        // The long form reaches what lies past MAX_PATH inside.
        std::filesystem::remove_all(L"\\\\?\\" + FileSystemPath(path_).wstring(), ignored);
#else
        std::filesystem::remove_all(FileSystemPath(path_), ignored);
#endif
    }
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;

    // The folder with a trailing delimiter, as the engine names folders.
    std::string Folder() const {
        return path_ + "/";
    }
    std::string operator/(const std::string& name) const {
        return path_ + "/" + name;
    }
    // Names of the entries, sorted.
    std::vector<std::string> Entries(const std::string& sub = "") const {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(FileSystemPath(path_ + "/" + sub)))
            names.push_back(PathText(e.path().filename()));
        std::sort(names.begin(), names.end());
        return names;
    }

  private:
    std::string path_;
};

}  // namespace tovali
