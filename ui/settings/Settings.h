// Every choice of the main window's configuration pages, as its controls hold
// them, and the settings file config.ini that keeps them between runs.
//
// Fields carry the names of the controls they belong to. Radio buttons are
// one Boolean each (at most one of a group is true after a load; none when
// all of the group's keys read false). List indexes count from 0, -1 meaning
// no selection. A font face is the text of the selected font-list item, empty
// when nothing is selected. The date and the comment pages are one text stamp
// each.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "engine/Raster.h"
#include "engine/TextStamp.h"

namespace tovali {

struct TSettings {
    // PIC_SIZE
    bool CBPicSize = false;
    bool RBRegularSize = true;
    int CBSizeList = 0;
    bool RBInputPicSize = false;
    std::string EditPicWidth = "800";
    std::string EditPicHeight = "800";
    // PIC_QUALITY
    bool CBQuality = false;
    bool RBQuality = true;
    int CBQualityLevel = 1;
    bool RBFileSize = false;
    std::string EditFileSize = "800";
    // PIC_FILTER (the contrast check box itself is never stored)
    bool CBFilter = false;
    int TBContrast = 50;
    bool CBVivid = false;
    bool CBBrightness = false;
    bool RBBrightnessUP = true;
    bool RBBrightnessDown = false;
    bool CBMonochrome = false;
    bool CBWhiteFrame = false;
    // PIC_SAVE
    bool RBDecidesName = true;
    int CBSelectNamePos = 0;
    std::string EditFileName = "s-";
    bool RBMakeDir = false;
    std::string EditDirName = "Reduction";
    bool CBProgressive = false;
    bool RBJpeg = true;
    bool RBPng = false;
    bool RBGif = false;
    bool RBBMP = false;
    bool RBWebp = false;
    bool RBAvif = false;
    // PIC_DATE
    bool RBGetDateFromPic = true;
    bool RBInputDate = false;
    // CBDate, ShapeDateFontColorOuter and ...Inner, CBDateFontName,
    // CBDateFontSize and the nine RBDrawPosDate... buttons. No text: the
    // date is entered for each batch, not kept.
    TTextStamp Date{false, "", 0xFFFFFF, 0xFF80FF, kDefaultFontName, tsSmall, dpRightBottom};
    // PIC_COMMENT: CBComment, EditComment and the comment's controls as the
    // date's.
    TTextStamp Comment{false, "", 0xFFFFFF, 0xFF80FF, kDefaultFontName, tsSmall, dpLeftTop};

    // The face the file names when it names none; rarely installed here, so
    // a load normally replaces it by its fontconfig substitute (IPAGothic).
    static constexpr const char* kDefaultFontName = "ＭＳ ゴシック";

    friend bool operator==(const TSettings&, const TSettings&) = default;
};

// The position of a text page none of whose nine buttons is checked (a file
// whose nine keys all read 0); the option snapshot refuses it.
inline constexpr TDrawPos kNoDrawPos = TDrawPos(0xFF);

// A field of the settings record, reached through a plain function, so that
// a table of fields may hold members of the record and members of its two
// text stamps alike: FieldOf<&TSettings::CBPicSize>,
// FieldOf<&TSettings::Date, &TTextStamp::Pos>.
template <class T>
using TSettingsField = T& (*)(TSettings&);
template <auto... Path>
auto& FieldOf(TSettings& s) {
    return (s.*....*Path);
}

// A settings file that cannot be written: "<path> に書き込めません".
class ESettingsError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// One settings file in memory: every section, key and comment it holds,
// so that a save changes our 62 keys and keeps everything else.
class TSettingsFile {
  public:
    // Reads the file. Never fails: a missing file reads as empty; an
    // unreadable or absurdly large one also reads as empty, and ReadProblem()
    // says why (such a file is never overwritten by Save).
    explicit TSettingsFile(std::filesystem::path path);
    ~TSettingsFile();
    TSettingsFile(const TSettingsFile&) = delete;
    TSettingsFile& operator=(const TSettingsFile&) = delete;

    // True for one of the 62 keys (section and key ignoring letter case).
    static bool IsKnownKey(std::string_view section, std::string_view key);

    bool Exists() const;
    const std::string& ReadProblem() const;

    // Sets one of the 62 keys as if the file held this (UTF-8) value. Section
    // and key ignore letter case, as in the file. False for any other key.
    bool SetValue(std::string_view section, std::string_view key, std::string_view value);

    // The settings the file holds, with every default and fallback applied.
    // Font faces are looked up in installedFaces ignoring letter case; a face
    // not found becomes the installed face fontconfig substitutes for it, else
    // the first installed face (empty when there is none).
    TSettings Read(const std::vector<std::string>& installedFaces) const;
    // Puts every key of the settings into the file in memory.
    void Write(const TSettings& settings);
    // Writes the file (creating it when missing). Throws ESettingsError.
    void Save() const;

  private:
    struct TImpl;
    std::unique_ptr<TImpl> impl_;
};

// Reads config.ini (missing file: every default).
TSettings LoadSettingsFile(const std::filesystem::path& path,
                           const std::vector<std::string>& installedFaces);
// Updates config.ini in place, or creates it in table order. Throws ESettingsError.
void SaveSettingsFile(const std::filesystem::path& path, const TSettings& settings);

}  // namespace tovali
