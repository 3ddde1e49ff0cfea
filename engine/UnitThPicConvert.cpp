#include "UnitThPicConvert.h"

#include "ExifInfo.h"

TthPicConvert::TthPicConvert() : ExifReader(std::make_unique<TExifInfo>()) {}

TthPicConvert::~TthPicConvert() = default;
