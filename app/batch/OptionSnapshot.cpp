#include "OptionSnapshot.h"

#include "InputCheck.h"

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

// The first checked button's position; -1 when none is checked.
int FirstChecked(const TSettings& s, const bool TSettings::*const (&buttons)[9]) {
    for (int i = 0; i < 9; ++i) {
        if (s.*buttons[i]) return i;
    }
    return -1;
}

TDrawPos DrawPos(const TSettings& s, const bool TSettings::*const (&buttons)[9],
                 const char* failure) {
    const int pos = FirstChecked(s, buttons);
    if (pos < 0) throw EConvertError(failure);
    return TDrawPos(pos);
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
    // Tested in this order; the codes do not follow it. None checked: unchanged.
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

void CopyDate(const TSettings& s, const QDate& enteredDate, TConvertOptions& o) {
    o.UseDate = s.CBDate;
    if (s.RBGetDateFromPic)
        o.DateSource = dsFromPicture;
    else if (s.RBInputDate)
        o.DateSource = dsInputDate;
    else
        throw EConvertError("invalid date config");
    o.InputDate = FormatInputDate(enteredDate);
    o.DateColorOuter = s.ShapeDateFontColorOuter;
    o.DateColorInner = s.ShapeDateFontColorInner;
    o.DateFontName = s.CBDateFontName;
    o.DateFontSize = TTextSizeLevel(std::uint8_t(s.CBDateFontSize));
    o.DatePos = DrawPos(s, kDatePosButtons, "invalid date draw pos");
}

void CopyComment(const TSettings& s, TConvertOptions& o) {
    o.UseComment = s.CBComment;
    o.CommentText = s.EditComment;
    o.CommentColorOuter = s.ShapeCommentFontColorOuter;
    o.CommentColorInner = s.ShapeCommentFontColorInner;
    o.CommentFontName = s.CBCommentFontName;
    o.CommentFontSize = TTextSizeLevel(std::uint8_t(s.CBCommentFontSize));
    o.CommentPos = DrawPos(s, kCommentPosButtons, "invalid Comment draw pos");
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

void CopyOptions(const TSettings& s, const QDate& enteredDate, bool useContrast,
                 TConvertOptions& o) {
    o.DecidesName = s.RBDecidesName;
    o.DirName = s.EditDirName;
    CopyFilterAndSize(s, useContrast, o);
    CopyQualityAndName(s, o);
    CopyDate(s, enteredDate, o);
    CopyComment(s, o);
}
