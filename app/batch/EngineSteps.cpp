#include "ConvertJob.h"

TEngineSteps::TEngineSteps() = default;
TEngineSteps::~TEngineSteps() = default;

TConvertOptions& TEngineSteps::Options() {
    return converter_.Options;
}

void TEngineSteps::OptionsCopied() {
    for (TthPicConvert& decoder : decoders_) decoder.Options = converter_.Options;
}

void TEngineSteps::ReadPictureDate(const std::string& source) {
    converter_.ReadPictureDate(source);
}

void TEngineSteps::LoadPicture(int slot, const std::string& source, TBitmap& bitmap) {
    decoders_[slot].LoadPicture(source, bitmap);
}

void TEngineSteps::ResizePicture(int slot, TBitmap& bitmap) {
    decoders_[slot].ResizePicture(bitmap);
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
