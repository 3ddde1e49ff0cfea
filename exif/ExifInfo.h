// Reader of the EXIF directories of a JPEG file.
#pragma once

class TExifInfo {
public:
    TExifInfo();
    ~TExifInfo();
};
