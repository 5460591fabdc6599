// TPopDlg: the settings program's main window, a tabbed property window with the General,
// User Accounts, Aliases, Setup Wizard and About pages, the bottom buttons and the window's
// own fields. The controls are public members named as the form names them (objectName
// too), so the handlers of every page and the tests reach them by name.
//
// Created on the GUI thread by the program's start-up, as the global PopDlg; every handler
// runs on that thread inside the exception guard (vcl::Guarded).
#pragma once

#include <QAction>
#include <QCheckBox>
#include <QDialog>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <array>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

#include "common/sorted_string_list.h"
#include "platform/file_dialogs.h"
#include "platform/vcl.h"
#include "settings/form_controls.h"
#include "settings/page_control.h"
#include "settings/string_grid.h"

namespace win {
class TRegistry;
}

namespace vrel {

inline constexpr std::string_view kPopDlgCaption = "Vrel POP3 Server Properties";
inline constexpr int kPopDlgClientWidth = 667;
inline constexpr int kPopDlgClientHeight = 396;
// Where Image1, Image2 and the web-page link lead.
inline constexpr std::string_view kWebPageAddress = "http://www.tavimere.example/pop3server/";

class TPopDlg : public QDialog {
  public:
    explicit TPopDlg(QWidget* parent = nullptr);
    ~TPopDlg() override;

    // Window frame.
    QFrame* TopPanel;
    TPageControl* PageControl;
    QFrame* BottomPanel;
    TClickImage* Image1;
    QPushButton* OKBtn;
    QPushButton* CancelBtn;
    QPushButton* HelpBtn;
    QPushButton* ApplyButton;

    // General page.
    QWidget* GeneralTab;
    QGroupBox* GroupBox1;
    QLineEdit* InBoxRootDirEdit;
    QPushButton* InBoxBrowseButton;
    QPushButton* InBoxDefaultButton;
    QGroupBox* GroupBox5;
    QLabel* LogFileDirLabel;
    QLineEdit* LogFileEdit;
    QCheckBox* LoggingCheckBox;
    QPushButton* LogFilePropButton;
    QPushButton* LogFileBrowseButton;
    QGroupBox* AgentGroupBox;
    vcl::TOwnerDrawListBox* GenStatusListBox;
    QPushButton* InstallButton;
    QPushButton* UnInstallButton;
    QPushButton* StatusStartButton;
    QPushButton* StatusStopButton;
    QMenu* StatusPopupMenu;
    QAction* StatusStart;
    QAction* StatusStop;
    QAction* N2;
    QAction* StatusInstall;
    QAction* StatusRemove;
    QAction* N3;
    QAction* StatusHelp;
    std::array<QPixmap, 3> ServerImageList;
    QCheckBox* SplashCheckBox;
    QGroupBox* ConStatsGroupBox;
    QLabel* ConSMTPLabel;
    QLabel* ConPOP3Label;
    QLabel* ConLogonLabel;
    QLabel* ConDateLabel;
    QPushButton* ConResetButton;
    QPushButton* ConUpdateButton;
    QCheckBox* CountConCheckBox;

    // User Accounts page.
    QWidget* UserAccTab;
    vcl::TRadioGroup* UserAccRadioGroup;
    QLineEdit* DomainEdit;
    QPushButton* DomainBrowseButton;
    QGroupBox* GroupBox;
    QLabel* GroupLabel;
    QLineEdit* eMailUsersGroupEdit;
    QPushButton* GroupBrowseButton;
    QGroupBox* GroupBox2;
    QLineEdit* PMEdit;
    QPushButton* DefaultPMButton;
    QPushButton* PMBrowseButton;
    vcl::TRadioGroup* UMRadioGroup;
    QGroupBox* MsgStatsGroupBox;
    QLabel* MsgRecvLabel;
    QLabel* MsgUndelLabel;
    QLabel* MsgDelLabel;
    QLabel* MsgDateLabel;
    QPushButton* MsgResetButton;
    QPushButton* MsgUpdateButton;
    QCheckBox* CountMsgCheckBox;

    // Aliases page.
    QWidget* AliasTab;
    QGroupBox* AliasGroupBox;
    TStringGrid* AliasStringGrid;
    QLabel* AliasLabel;
    QLineEdit* AliasEdit;
    QLabel* AliasMapToLabel;
    QLineEdit* AliasMapToEdit;
    QPushButton* AliasAddButton;
    QPushButton* AliasRemoveButton;
    QPushButton* AliasEditButton;
    QPushButton* AliasClearButton;
    QPushButton* BrowseUserButton;
    QPushButton* AliasImportButton;
    QPushButton* AliasExportButton;
    QPushButton* OptionsButton;
    QPushButton* CheckAliasButton;
    QMenu* AliasPopupMenu;
    QAction* AliasPopupRemove;
    QAction* AliasPopupEdit;
    QAction* N1;
    QAction* Error;
    std::array<QPixmap, 4> AliasImageList;
    win::TSaveDialog AliasSaveDialog;
    win::TOpenDialog AliasOpenDialog;

    // Setup Wizard page.
    QWidget* WizardTab;
    QFrame* WizPanel;
    QLabel* WizStepLabel;
    QFrame* Bevel1;
    QPlainTextEdit* WizMemo;
    QLineEdit* WizDomainEdit;
    QPushButton* WizDomainAddButton;
    QLabel* WizNextLabel;
    QFrame* Bevel2;
    QPushButton* WizStartButton;
    QPushButton* WizPrevButton;
    QPushButton* WizNextButton;
    QPushButton* WizFinishButton;

    // About page.
    QWidget* AboutTab;
    QFrame* LogoPanel;
    TClickImage* Image2;
    QLabel* ProductName;
    QLabel* Label8;
    QLabel* VersionLabel;
    QLabel* CopyRight;
    QLabel* Label1;
    TClickImage* WebSiteLabel;

    // The window's own fields.
    bool sortAscending = false;
    bool authChanged = false;
    bool installComplete = false;
    int wizardStep = 0;
    std::int32_t progressOffset = 0;

    // Window and About page.
    void AboutTabShow();
    void CancelBtnClick();
    void HelpBtnClick();
    void Image1Click();
    // The General page's show handler as far as the status list needs it.
    void GeneralTabShow();

    // Service status list.
    void StatusButtonClick();
    void GenStatusListBoxDrawItem(int index, const QRect& rect, QStyle::State state,
                                  QPainter& canvas);
    void GenStatusListBoxClick();
    void StatusPopupMenuPopup();
    void StatusStartClick();
    void StatusStopClick();
    void StatusInstallClick();
    void StatusRemoveClick();
    // The moving bar over a service's row during a start or stop wait.
    void DrawServiceProgress(const std::string& serviceName, std::uint32_t waitTime);

    // Statistics of both pages: counters shown with their hourly averages, and their reset.
    void ConUpdateButtonClick();
    void MsgUpdateButtonClick();
    void ConResetButtonClick();
    void MsgResetButtonClick();
    void CountConCheckBoxClick();
    void CountMsgCheckBoxClick();

    // Applying the settings, and the handlers that record or fill unapplied changes.
    void ApplyButtonClick();
    bool IsLogonServerReachable(const std::string& domain);
    void InBoxRootDirEditChange();
    void DomainEditChange();
    void UserAccRadioGroupClick();
    void LoggingCheckBoxClick();
    void InBoxBrowseButtonClick();
    void LogFileBrowseButtonClick();
    void InBoxDefaultButtonClick();
    void DefaultPMButtonClick();
    void LogFilePropButtonClick();
    // Alias editor, check, import and export.
    bool addAlias(const std::string& alias, const std::string& user);
    bool deleteAlias();
    void LoadAliasGrid();
    void AliasAddButtonClick();
    void AliasRemoveButtonClick();
    void AliasStringGridDblClick();
    void AliasClearButtonClick();
    void AliasStringGridMouseUp(Qt::MouseButton button, int col, int row);
    void AliasStringGridDrawCell(int col, int row, const QRect& rect, QPainter& canvas);
    void AliasPopupMenuPopup();
    void AliasEditChange();
    void AliasTabShow();
    void CheckAliasButtonClick();
    void ErrorClick();
    void AliasExportButtonClick();
    void AliasImportButtonClick();

    // Pickers and the alias options (browse list and options dialogs).
    void GroupBrowseButtonClick();
    void BrowseUserButtonClick();
    void DomainBrowseButtonClick();
    void PMBrowseButtonClick();
    void OptionsButtonClick();

    // The page the form resource opens on.
    QWidget* DesignActivePage() const { return WizardTab; }

    // Loading the window and changing pages (form_show.cpp).
    void FormShow();
    void UserAccTabShow();
    void PageControlChanging();
    void OKBtnClick();

    // Setup wizard (wizard_tab.cpp, wizard_pages.cpp).
    void WizardTabShow();
    void WizNextButtonClick();
    void WizPrevButtonClick();
    void WizStartButtonClick();
    void WizDomainAddButtonClick();
    void WizDomainEditChange();
    void WizFinishButtonClick();

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    void CentreOnScreen();
    void BuildFrame();
    void LayOutFrame(int width);
    void BuildGeneralTab();
    void BuildStatusList(QWidget* group);
    void BuildStatsGroup(QWidget* page);
    void BuildUserAccTab();
    void BuildMsgStatsGroup(QWidget* page);
    void BuildAliasTab();
    void BuildWizardTab();
    void BuildAboutTab();
    void ConnectPickers();
    void ConnectStatusList();
    void ConnectStatistics();
    void ConnectApplyHandlers();
    void ApplyAuthentication(win::TRegistry& registry);
    void ConnectLoading();
    void LoadSettings(win::TRegistry& registry);
    void ConnectWizard();
    void BuildAliasPopup();
    void ConnectAliasTab();
    void AppendAliasRow(const std::string& alias, const std::string& user);
    // The Add button's work; an import passes its run's mail users, read at their first use.
    void AddAliasFromEdits(std::optional<SortedStringList>* runMailUsers);
    bool ReplaceDuplicate(const std::string& alias);
    bool UserAccepted(const std::string& user, std::optional<SortedStringList>* runMailUsers);
    void ShowAliasCount();
    // Runs one of the four status actions on the selected row, under the hourglass.
    void StatusAction(const std::function<void(int row)>& action);
    bool shown_ = false;
};

// The main window, set by the program's start-up.
extern TPopDlg* PopDlg;

// Lays out the wizard page of PopDlg for its wizardStep and the system's live state.
void ShowWizardPage();
// The wizard's closing step, after its five numbered ones.
inline constexpr int kWizardFinalStep = 99;
// Appends the lines to the wizard page's memo.
void AddWizardLines(TPopDlg& form, std::initializer_list<std::string_view> lines);

// The browse list dialog modal in list mode 3 (mail users, and aliases marked " (alias)"),
// single selection, with the help topic and caption given: true with the selected entry
// after OK; the dialog's list is emptied afterwards.
bool BrowseMailUsersAndAliases(const std::string& helpTopic, const std::string& caption,
                               std::string& entry);
// The PostMaster address a line of that list gives: the user, or the alias without its
// " (alias)" mark, at the SMTP service's default domain.
std::string PostMasterAddress(const std::string& line);

}  // namespace vrel
