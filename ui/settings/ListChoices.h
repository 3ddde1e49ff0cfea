// The items of the window's size and quality lists and what each stands for:
// the settings file keeps the index of the selected item, the window shows
// the captions, the option snapshot turns the index into its value and
// tovali3-batch's --quality names a level by its value.
#pragma once

#include <iterator>

namespace tovali {

struct TBoxChoice {
    int Side;  // the box is Side x Side pixels
    const char* Caption;
};
inline constexpr TBoxChoice kBoxChoices[] = {
    {1280, "1280 x 1280"}, {1024, "1024 x 1024"}, {800, "800 x  800"}, {640, "640 x 640"},
    {400, "400 x 400"},    {320, "320 x 320"},    {160, "160 x 160"}};

struct TQualityChoice {
    int Quality;  // JPEG quality 0 .. 100
    const char* Caption;
};
inline constexpr TQualityChoice kQualityChoices[] = {
    {100, "最高画質"}, {80, "高画質"}, {60, "中画質"}, {30, "低画質"}, {10, "最低画質"}};

inline constexpr int kBoxChoiceCount = int(std::size(kBoxChoices));
inline constexpr int kQualityChoiceCount = int(std::size(kQualityChoices));

// The side of the size list's item; 0 for no item (-1, or past the list).
inline int BoxSizeForIndex(int index) {
    return index >= 0 && index < kBoxChoiceCount ? kBoxChoices[index].Side : 0;
}

// The quality of the quality list's item; 0 for no item.
inline int JpegQualityForIndex(int index) {
    return index >= 0 && index < kQualityChoiceCount ? kQualityChoices[index].Quality : 0;
}

}  // namespace tovali
