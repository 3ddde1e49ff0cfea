#include "UnitThPicConvert.h"

#include "ExifInfo.h"

int BoxSizeForIndex(int index) {
    static constexpr int kSides[] = {1280, 1024, 800, 640, 400, 320, 160};
    return index >= 0 && index < int(std::size(kSides)) ? kSides[index] : 0;
}

int JpegQualityForIndex(int index) {
    static constexpr int kQualities[] = {100, 80, 60, 30, 10};
    return index >= 0 && index < int(std::size(kQualities)) ? kQualities[index] : 0;
}

TthPicConvert::TthPicConvert() : ExifReader(std::make_unique<TExifInfo>()) {}

TthPicConvert::~TthPicConvert() = default;
