#include "ConvertJob.h"

TEngineSteps::TEngineSteps() = default;
TEngineSteps::~TEngineSteps() = default;

TConvertOptions& TEngineSteps::Options() {
    return converter_.Options;
}

void TEngineSteps::OptionsCopied() {
    loader_.Options = converter_.Options;
}

void TEngineSteps::ReadPictureDate(const std::string& source) {
    converter_.ReadPictureDate(source);
}

void TEngineSteps::LoadPicture(const std::string& source, TBitmap& bitmap) {
    loader_.LoadPicture(source, bitmap);
}

void TEngineSteps::ResizePicture(TBitmap& bitmap) {
    converter_.ResizePicture(bitmap);
}

void TEngineSteps::ApplyEffects(TBitmap& bitmap) {
    converter_.ApplyEffects(bitmap);
}

void TEngineSteps::DrawTexts(TBitmap& bitmap) {
    converter_.DrawTexts(bitmap);
}

std::string TEngineSteps::SavePicture(const std::string& outputName, TBitmap& bitmap) {
    converter_.SavePicture(outputName, bitmap);
    return converter_.LastSaveFile;
}

std::string TEngineSteps::GetLastSaveDir() {
    return converter_.GetLastSaveDir();
}
