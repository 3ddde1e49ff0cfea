#include "ExifInfo.h"

TExifInfo::TExifInfo() = default;

TExifInfo::~TExifInfo() = default;
