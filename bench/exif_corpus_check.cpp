// Loads every JPEG named on the command line (folders are searched) with
// the EXIF reader and prints one line per file:
//   path <TAB> status <TAB> width x height <TAB> entries/thumb entries <TAB> DateTime text
// status is "ok", or the reader's error. Used by check_exif_corpus.sh to
// compare the reader with another tool over a whole corpus.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "exif/ExifInfo.h"

using namespace tovali;

namespace {

void Check(const std::string& path) {
    TExifInfo reader;
    std::string status = "ok";
    std::string date;
    try {
        if (!reader.HasExif(path)) throw std::runtime_error("no APP1");
        reader.SetImageFileName(path);
        date = reader.GetDateTimeText();
    } catch (const std::exception& e) {
        status = e.what();
    }
    std::printf("%s\t%s\t%dx%d\t%d/%d\t%s\n", path.c_str(), status.c_str(), reader.JpegWidth(),
                reader.JpegHeight(), reader.Entries().Count(), reader.ThumbEntries().Count(),
                date.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        if (std::filesystem::is_directory(argv[i])) {
            for (const auto& entry : std::filesystem::recursive_directory_iterator(argv[i])) {
                const std::string ext = entry.path().extension().string();
                if (entry.is_regular_file() && (ext == ".jpg" || ext == ".jpeg"))
                    files.push_back(entry.path().string());
            }
        } else {
            files.push_back(argv[i]);
        }
    }
    std::sort(files.begin(), files.end());
    for (const auto& file : files) Check(file);
    return 0;
}
