#include "Canvas.h"

TCanvas::TCanvas(TBitmap& owner) : owner_(owner) {}

TCanvas::~TCanvas() = default;

TCanvas& TBitmap::Canvas() {
    if (!canvas_) canvas_ = std::make_unique<TCanvas>(*this);
    return *canvas_;
}
