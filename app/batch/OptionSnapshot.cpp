#include "app/batch/OptionSnapshot.h"

#include "app/batch/InputCheck.h"
#include "ui/settings/ListChoices.h"

namespace tovali {

namespace {

// The conversion error of a text that is not a decimal integer.
[[noreturn]] void ThrowNotInteger(const std::string& text) {
    throw EConvertError("'" + text + "' is not a valid integer value");
}

std::int32_t ReadInt(const std::string& text) {
    const auto value = StrToInt(text);
    if (!value) ThrowNotInteger(text);
    return *value;
}

std::int64_t ReadInt64(const std::string& text) {
    const auto value = StrToInt64(text);
    if (!value) ThrowNotInteger(text);
    return *value;
}

// A text page's stamp with its text; a page without a position fails.
TTextStamp Stamp(const TTextStamp& page, std::string text, const char* noPosFailure) {
    if (page.Pos > dpRightBottom) throw EConvertError(noPosFailure);
    TTextStamp stamp = page;
    stamp.Text = std::move(text);
    return stamp;
}

void CopyFilterAndSize(const TSettings& s, bool useContrast, TConvertOptions& o) {
    o.UseFilter = s.CBFilter;
    o.UseContrast = useContrast;
    o.UseVivid = s.CBVivid;
    o.UseBrightness = s.CBBrightness;
    o.UseMonochrome = s.CBMonochrome;
    o.ContrastValue = s.TBContrast;
    o.BrightnessDown = s.RBBrightnessDown;
    o.UsePicSize = s.CBPicSize;
    const TPicSize size = GetPicSize(s);
    o.PicWidth = size.Width;
    o.PicHeight = size.Height;
}

void CopyQualityAndName(const TSettings& s, TConvertOptions& o) {
    o.UseProgressive = s.CBProgressive;
    o.UseQuality = s.CBQuality;
    o.QualityByLevel = s.RBQuality;
    o.JpegQuality = GetJpegQuality(s);
    o.TargetFileSize = ReadInt64(s.EditFileSize);
    o.NameBefore = s.CBSelectNamePos == 0;
    o.NameAffix = s.EditFileName;
    // Tested in this order; the codes do not follow it. None checked: JPEG.
    if (s.RBJpeg)
        o.OutputType = otJpeg;
    else if (s.RBPng)
        o.OutputType = otPng;
    else if (s.RBGif)
        o.OutputType = otGif;
    else if (s.RBBMP)
        o.OutputType = otBmp;
    else if (s.RBWebp)
        o.OutputType = otWebp;
    else if (s.RBAvif)
        o.OutputType = otAvif;
    o.UseWhiteFrame = s.CBWhiteFrame;
}

void CopyTexts(const TSettings& s, const QDate& enteredDate, TConvertOptions& o) {
    if (s.RBGetDateFromPic)
        o.DateSource = dsFromPicture;
    else if (s.RBInputDate)
        o.DateSource = dsInputDate;
    else
        throw EConvertError("invalid date config");
    o.Date = Stamp(s.Date, FormatInputDate(enteredDate), "invalid date draw pos");
    o.Comment = Stamp(s.Comment, s.Comment.Text, "invalid Comment draw pos");
}

}  // namespace

TPicSize GetPicSize(const TSettings& s) {
    if (s.RBRegularSize) {
        const int side = BoxSizeForIndex(s.CBSizeList);
        return {side, side};
    }
    return {ReadInt(s.EditPicWidth), ReadInt(s.EditPicHeight)};
}

int GetJpegQuality(const TSettings& s) {
    return JpegQualityForIndex(s.CBQualityLevel);
}

std::string FormatInputDate(const QDate& date) {
    return date.toString(QStringLiteral("yyyy/MM/dd")).toStdString();
}

TConvertOptions SnapshotOptions(const TSettings& s, const QDate& enteredDate, bool useContrast) {
    TConvertOptions o;
    o.DecidesName = s.RBDecidesName;
    o.DirName = s.EditDirName;
    CopyFilterAndSize(s, useContrast, o);
    CopyQualityAndName(s, o);
    CopyTexts(s, enteredDate, o);
    return o;
}

}  // namespace tovali
