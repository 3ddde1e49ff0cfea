#include "engine/UnitThPicConvert.h"

#include "exif/ExifInfo.h"

namespace tovali {

TthPicConvert::TthPicConvert() : ExifReader(std::make_unique<TExifInfo>()) {}

TthPicConvert::~TthPicConvert() = default;

}  // namespace tovali
