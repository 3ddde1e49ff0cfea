// TFormMain: the program's working window. Six page buttons and two help
// buttons on the left, one configuration page at a time in the middle, the
// drop area on the right. Every control is a public member named, and with
// the object name, as the settings, the rules and the option snapshot call it.
#pragma once

#include <QList>
#include <QPointer>
#include <QStringList>
#include <QUrl>
#include <QWidget>
#include <filesystem>
#include <optional>

#include "ui/settings/Settings.h"

class QCheckBox;
class QColorDialog;
class QComboBox;
class QDateEdit;
class QGroupBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QRadioButton;
class QSlider;
class QStackedWidget;

namespace tovali {

class TPNGButton;
class TShape;

class TFormMain : public QWidget {
    Q_OBJECT

  public:
    explicit TFormMain(QWidget* parent = nullptr);
    ~TFormMain() override;

    // The progress window that FormResize centres and raises while it shows.
    void SetStatusWindow(QWidget* status) { statusWindow_ = status; }

    // Page navigation and the help buttons.
    void pngBtnConfigClick(QObject* Sender);
    void pngBtnManualClick();
    void pngBtnQAClick();
    // The colour choice of the four colour shapes.
    void ShapeFontColorOuterMouseUp(TShape* Sender);
    // Asks whether to end; true lets the window close.
    bool FormCloseQuery();
    void FormResize();

    // Control-state rules: they read the switches and set which controls
    // are enabled and which labels are grey.
    void UpdateFormPicSize();
    void UpdateFormQuality();
    void UpdateFormFilter();
    void TBContrastChange();
    void UpdateFormSaveConf();
    void UpdateFormDateConf();
    void UpdateFormCommentConf();
    // Key filter of the numeric boxes: true when the key is dropped.
    bool EditNumOnlyKeyPress(const QKeyEvent& key) const;

    // Settings store: finds (creating it if need be) the folder of
    // config.ini, reads the file into the controls, writes them back.
    void MakeSettingsDir();
    void LoadSettings();
    // Says so (once, in a message box) when the comment holds characters
    // the file cannot keep; unless quiet, as when a signal ends the program
    // and nobody may be there to answer.
    void SaveSettings();
    bool QuietSave = false;
    // SaveSettings as the program ends: a file that cannot be written is
    // reported (unless quiet), never raised.
    void SaveSettingsAtEnd();
    // False once the program is ending without anyone to ask (the session
    // ends): a close then goes through without "終了してよろしいですか？".
    bool AskBeforeClose = true;
    // Every stored choice as the controls hold it now, and the reverse (as
    // a load sets them: rules run as the switches change).
    TSettings ReadSettings() const;
    void ShowSettings(const TSettings& settings);

    // Window art and navigation.
    QLabel* imgBG;
    QLabel* imgDropArea;
    TPNGButton* pngBtnPicSize;
    TPNGButton* pngBtnFilter;
    TPNGButton* pngBtnDate;
    TPNGButton* pngBtnComment;
    TPNGButton* pngBtnSave;
    TPNGButton* pngBtnJpeg;
    TPNGButton* pngBtnManual;
    TPNGButton* pngBtnQA;
    QStackedWidget* PGConfig;
    QColorDialog* ColorDialogFont;

    // Page 0: the start page.
    QWidget* TabSheetTop;
    QLabel* ImgConfigTop;

    // Page 1: size.
    QWidget* TabSheetPicSize;
    QGroupBox* GBPicSize;
    QCheckBox* CBPicSize;
    QRadioButton* RBRegularSize;
    QComboBox* CBSizeList;
    QRadioButton* RBInputPicSize;
    QLabel* LblPicWidth;
    QLineEdit* EditPicWidth;
    QLabel* LblPicHeight;
    QLineEdit* EditPicHeight;

    // Page 2: effects.
    QWidget* TabSheetFilter;
    QGroupBox* GBFilter;
    QCheckBox* CBFilter;
    QGroupBox* GBContrast;
    QCheckBox* CBContrast;
    QSlider* TBContrast;
    QLabel* lblContrastValue;
    QGroupBox* GBBrightness;
    QCheckBox* CBBrightness;
    QRadioButton* RBBrightnessUP;
    QRadioButton* RBBrightnessDown;
    QCheckBox* CBVivid;
    QCheckBox* CBMonochrome;
    QCheckBox* CBWhiteFrame;

    // Page 3: date.
    QWidget* TabSheetDate;
    QGroupBox* GBDate;
    QCheckBox* CBDate;
    QGroupBox* GBConfigDate;
    QRadioButton* RBGetDateFromPic;
    QRadioButton* RBInputDate;
    QDateEdit* DTPDate;
    QGroupBox* GBDateFontName;
    QComboBox* CBDateFontName;
    QGroupBox* GBDateFontSize;
    QComboBox* CBDateFontSize;
    QGroupBox* GBDateFontColor;
    QGroupBox* GBDateFontColorOuter;
    TShape* ShapeDateFontColorOuter;
    QGroupBox* GBDateFontColorInner;
    TShape* ShapeDateFontColorInner;
    QGroupBox* GBDrawPosDate;
    QRadioButton* RBDrawPosDateLeftTop;
    QRadioButton* RBDrawPosDateTop;
    QRadioButton* RBDrawPosDateRightTop;
    QRadioButton* RBDrawPosDateLeft;
    QRadioButton* RBDrawPosDateCenter;
    QRadioButton* RBDrawPosDateRight;
    QRadioButton* RBDrawPosDateLeftBottom;
    QRadioButton* RBDrawPosDateBottom;
    QRadioButton* RBDrawPosDateRightBottom;

    // Page 4: comment.
    QWidget* TabSheetComment;
    QGroupBox* GBComment;
    QCheckBox* CBComment;
    QGroupBox* GBDrawComment;
    QLineEdit* EditComment;
    QGroupBox* GBCommentFontName;
    QComboBox* CBCommentFontName;
    QGroupBox* GBCommentFontSize;
    QComboBox* CBCommentFontSize;
    QGroupBox* GBCommentFontColor;
    QGroupBox* GBCommentFontColorOuter;
    TShape* ShapeCommentFontColorOuter;
    QGroupBox* GBCommentFontColorInner;
    TShape* ShapeCommentFontColorInner;
    QGroupBox* GBDrawPosComment;
    QRadioButton* RBDrawPosCommentLeftTop;
    QRadioButton* RBDrawPosCommentTop;
    QRadioButton* RBDrawPosCommentRightTop;
    QRadioButton* RBDrawPosCommentLeft;
    QRadioButton* RBDrawPosCommentCenter;
    QRadioButton* RBDrawPosCommentRight;
    QRadioButton* RBDrawPosCommentLeftBottom;
    QRadioButton* RBDrawPosCommentBottom;
    QRadioButton* RBDrawPosCommentRightBottom;

    // Page 5: save.
    QWidget* TabSheetSave;
    QGroupBox* GBOutputConfig;
    QGroupBox* GBSave;
    QRadioButton* RBDecidesName;
    QComboBox* CBSelectNamePos;
    QLineEdit* EditFileName;
    QLabel* LblSelectFileName;
    QRadioButton* RBMakeDir;
    QLabel* LblDirName;
    QLineEdit* EditDirName;
    QGroupBox* GBFileType;
    QRadioButton* RBJpeg;
    QRadioButton* RBPng;
    QRadioButton* RBBMP;
    QRadioButton* RBGif;
    QRadioButton* RBWebp;
    QRadioButton* RBAvif;

    // Page 6: JPEG.
    QWidget* TabSheetJpeg;
    QGroupBox* GBJpegConfig;
    QGroupBox* GBFileSize;
    QCheckBox* CBQuality;
    QRadioButton* RBQuality;
    QComboBox* CBQualityLevel;
    QRadioButton* RBFileSize;
    QLineEdit* EditFileSize;
    QLabel* LblKB;
    QCheckBox* CBProgressive;

  signals:
    // Files (or anything else) dropped anywhere on the window: the URLs and
    // the drop's text/uri-list as it came, whose escapes keep the bytes of
    // names that are not UTF-8.
    void filesDropped(const QList<QUrl>& urls, const QByteArray& uriList);

  protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

    // The folder of config.ini; none when no home or configuration folder
    // is known (the window then runs on the defaults and keeps nothing).
    std::optional<std::filesystem::path> SettingsDir;
    // Usable font faces, shared by the two font lists.
    QStringList FontList;

  private:
    void FormCreate();
    void CreateFrame();
    void CreatePageButtons();
    void CreatePages();
    QWidget* CreateTopPage();
    QWidget* CreatePicSizePage();
    QWidget* CreateFilterPage();
    QWidget* CreateDatePage();
    QWidget* CreateCommentPage();
    QWidget* CreateSavePage();
    QWidget* CreateJpegPage();
    void BindRules();
    void SetAccessibleNames();
    // Shows the artwork drawn for the desktop's theme (light or dark) and the
    // screen's device pixel ratio; again whenever either changes.
    void ApplyArtwork();

    QPointer<QWidget> statusWindow_;
    bool placed_ = false;
    // The theme and scale of the artwork shown (scale 0: none yet).
    bool artDark_ = false;
    qreal artScale_ = 0;
};

}  // namespace tovali
