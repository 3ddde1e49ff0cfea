#include "app/batch/TerminalReporter.h"

#include <algorithm>

#include "app/batch/ConsoleText.h"

namespace tovali {

namespace {

constexpr int kBarWidth = 40;

}  // namespace

TTerminalReporter::TTerminalReporter(std::FILE* out, std::FILE* err, bool drawBar)
    : out_(out), err_(err), drawBar_(drawBar) {}

void TTerminalReporter::SetRange(int minimum, int maximum) {
    minimum_ = minimum;
    maximum_ = std::max(maximum, minimum);
    SetPosition(minimum);
}

void TTerminalReporter::SetPosition(int position) {
    position_ = position;
    DrawBar();
}

void TTerminalReporter::SetStatus(const std::string& text) {
    ClearBar();
    WriteText(err_, text + "\n");
    DrawBar();
}

void TTerminalReporter::FileSaved(const std::string& path) {
    ClearBar();
    WriteText(out_, path);
    std::fputc(pathEnd_, out_);
    std::fflush(out_);
    DrawBar();
}

std::string TTerminalReporter::FailureDetail() const {
    return failure_ ? FailureReasonText(*failure_) : std::string();
}

void TTerminalReporter::Finish() {
    ClearBar();
}

void TTerminalReporter::ClearBar() {
    if (!barShown_) return;
    std::fputs("\r\033[K", err_);
    barShown_ = false;
}

// "[#######.............]  12/47", redrawn in place.
void TTerminalReporter::DrawBar() {
    if (!drawBar_) return;
    const int span = std::max(maximum_ - minimum_, 1);
    const int done = std::clamp((position_ - minimum_) * kBarWidth / span, 0, kBarWidth);
    const std::string bar =
        std::string(std::size_t(done), '#') + std::string(std::size_t(kBarWidth - done), '.');
    std::fprintf(err_, "\r\033[K[%s] %d/%d", bar.c_str(), position_ - minimum_, span);
    std::fflush(err_);
    barShown_ = true;
}

}  // namespace tovali
