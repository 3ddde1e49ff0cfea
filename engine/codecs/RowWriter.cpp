#include "engine/codecs/RowWriter.h"

#include "engine/codecs/CodecIO.h"
#include "engine/codecs/Stoppable.h"

namespace tovali {

TRowWriter::TRowWriter(TBitmap& picture, int width, int height, int bitsPerPixel,
                       const std::optional<TFitSize>& fit, const std::atomic<bool>* cancel)
    : picture_(picture), cancel_(cancel) {
    if (!fit) {
        picture.SetSize(width, height, bitsPerPixel);
        return;
    }
    fit_ = std::make_unique<TStreamedFit>(width, height, fit->Width, fit->Height);
    picture.SetSize(width, bitsPerPixel == 24 ? 0 : 1, bitsPerPixel);
}

TRowWriter::~TRowWriter() = default;

std::uint8_t* TRowWriter::Row(int y) {
    if (!fit_) return picture_.ScanLine(y);
    if (y != fit_->RowsDone()) throw ECodecError("rows out of order");
    // 24-bit rows are the fit's own; others are converted from one row.
    return picture_.BitsPerPixel() == 24 ? fit_->NextRow() : picture_.ScanLine(0);
}

void TRowWriter::Done(int y) {
    if (fit_) {
        if (picture_.BitsPerPixel() != 24) {
            // Each pixel's colour as ConvertTo24 gives it for the whole picture.
            std::uint8_t* out = fit_->NextRow();
            for (int x = 0; x < picture_.Width(); ++x, out += 3) {
                const TColor c = picture_.GetPixel(x, 0);
                out[0] = GetBValue(c);
                out[1] = GetGValue(c);
                out[2] = GetRValue(c);
            }
        }
        fit_->RowDone();
    }
    if (y % kRowsPerStopLook == kRowsPerStopLook - 1) ThrowIfStopped(cancel_, "decode stopped");
}

void TRowWriter::Finish() {
    if (!fit_) return;
    std::unique_ptr<TBitmap> fitted = fit_->Take();
    fitted->IccProfile = std::move(picture_.IccProfile);
    picture_.Swap(*fitted);
}

}  // namespace tovali
