// The option snapshot: the settings of the window (or of the batch program)
// turned into the engine's options once per job, before it starts.
#pragma once

#include <QDate>
#include <cstdint>

#include "engine/UnitThPicConvert.h"
#include "ui/settings/Settings.h"

namespace tovali {

struct TPicSize {
    std::int32_t Width = 0;
    std::int32_t Height = 0;
};

// The listed box when RBRegularSize is checked (0 x 0 without a selection),
// else the typed width and height. Throws EConvertError for a typed text that
// is not a decimal integer.
TPicSize GetPicSize(const TSettings& settings);
// The quality of the selected level; 0 without a selection.
int GetJpegQuality(const TSettings& settings);
// The entered date as the date text: "yyyy/MM/dd".
std::string FormatInputDate(const QDate& date);

// The options of a job, from the settings, the entered date and the
// contrast check box (which the settings file does not keep). Throws
// EConvertError at the first failure in the order of the pages ("invalid
// date config", "invalid date draw pos", "invalid Comment draw pos", or a
// size text that is no integer).
TConvertOptions SnapshotOptions(const TSettings& settings, const QDate& enteredDate,
                                bool useContrast);

}  // namespace tovali
