// How tovali3-batch shows a job: every written path on standard output, the
// status texts on standard error, and a progress bar there when standard
// error is a terminal.
#pragma once

#include <cstdio>
#include <optional>

#include "app/batch/ConvertJob.h"

namespace tovali {

class TTerminalReporter final : public IJobReporter {
  public:
    TTerminalReporter(std::FILE* out, std::FILE* err, bool drawBar);

    void Started() override {}
    void Failed(const TJobFailure& failure) override { failure_ = failure; }
    void SetRange(int minimum, int maximum) override;
    void SetPosition(int position) override;
    void SetStatus(const std::string& text) override;
    void FileSaved(const std::string& path) override;
    void SetSaveDir(const std::string&) override {}

    // After a failed job: FailureReasonText of the failure; empty otherwise.
    std::string FailureDetail() const;
    // Takes the bar off the terminal.
    void Finish();
    // What follows each written path: a line feed, or NUL for --null.
    void SetPathEnd(char end) { pathEnd_ = end; }

  private:
    void ClearBar();
    void DrawBar();

    std::FILE* out_;
    std::FILE* err_;
    bool drawBar_;
    bool barShown_ = false;
    char pathEnd_ = '\n';
    int minimum_ = 0;
    int maximum_ = 100;
    int position_ = 0;
    std::optional<TJobFailure> failure_;
};

}  // namespace tovali
