#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QMainWindow>
#include <QRect>

#include "platform/eventguard.h"
#include "robot/downloadrun.h"
#include "robot/runobserver.h"
#include "robot/runpreferences.h"
#include "settings/settings.h"

class QAction;
class QFileDialog;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QToolButton;
class TElidedLabel;
class TFormAbout;
class TFormChooseDir;
class TFormOpenFile;
class TFormPreferences;
class TFormURLBuilder;
class TListBox;

// The main window: the robot's lists, progress and controls. Created once at start-up and
// kept until the program ends. It drives the download run, shows what the run reports, and
// gives it the preferences of the preferences dialog, read at the moment the run asks.
class TFormKestrow : public QMainWindow, public TRunObserver, private TRunPreferences
{
    Q_OBJECT

  public:
    explicit TFormKestrow(QWidget* parent = nullptr);
    ~TFormKestrow() override;

    // The windows start-up creates after this one.
    void AttachPreferences(TFormPreferences* preferences);
    void AttachAbout(TFormAbout* about);
    void AttachChooseDir(TFormChooseDir* chooseDir);
    void AttachURLBuilder(TFormURLBuilder* urlBuilder);

    // Tool bar
    QWidget* Panel2;
    QToolButton* SpeedButtonGo;
    QToolButton* SpeedButtonTest;
    QToolButton* SpeedButtonStop;
    QToolButton* SpeedButtonSkipFile;
    QToolButton* SpeedButtonSkipURL;
    QToolButton* SpeedButtonHelp;
    // Input fields
    QWidget* Panel5;
    QLabel* Label1;
    QLineEdit* EditURL;
    QPushButton* ButtonAddURL;
    QPushButton* ButtonBuild;
    QLabel* Label5;
    QLineEdit* EditOutputPath;
    QPushButton* ButtonChooseDir;
    QLabel* Label7;
    QGroupBox* GroupBox1;
    QRadioButton* RadioButtonContains;
    QRadioButton* RadioButtonEndsWith;
    QLineEdit* EditExtension;
    // Lists
    QWidget* Panel4;
    QLabel* Label6;
    TListBox* ListBoxURLList;
    QLabel* Label2;
    TListBox* ListBoxFileList;
    QLabel* ImageOK;
    QLabel* ImageTimer;
    QLabel* ImageError;
    // Progress
    QWidget* Panel1;
    QLabel* Label3;
    QProgressBar* ProgressBarList;
    QLabel* LabelOverallProgress;
    QLabel* Label4;
    QProgressBar* ProgressBarFile;
    QLabel* LabelFileProgress;
    QLabel* LabellStats;
    TElidedLabel* StatusPanel0;
    TElidedLabel* StatusPanel1;
    // Menus
    QMenu* MenuFile;
    QAction* MenuFileOpen;
    QAction* MenuFileGo;
    QAction* MenuFileStop;
    QAction* MenuFileExit;
    QMenu* Setup;
    QAction* MenuSetupPreferences;
    QMenu* MenuHelp;
    QAction* MenuHelpContents;
    QAction* MenuHelpAbout;
    QAction* MenuHelpUpdates;
    QAction* MenuHelpReportBug;
    QAction* MenuHelpTroubleShoot;
    QAction* MenuHelpCorvaneHome;
    // The lists' pop-up menu and the list file dialogs
    QMenu* PopupMenu;
    QAction* PopupMenuDelete;
    QAction* PopupMenuDeleteAll;
    QAction* N1;
    QAction* PopupMenuSave;
    QAction* PopupMenuLoad;
    QAction* N2;
    QAction* PopupMenuCopy;
    QAction* PopupMenuPaste;
    TFormOpenFile* OpenDialog;
    QFileDialog* SaveDialog1;
    // The list the pop-up menu was last opened on.
    TListBox* PopupComponent = nullptr;

    // The run with its transfers, lists and run state.
    TDownloadRun* Robot;

    // The settings record; SettingsLoaded is false until FormShow has read it.
    TSettingsRecord Settings;

    // Download run
    void SpeedButtonGoClick(QObject* sender);
    void MenuFileGoClick();
    void SpeedButtonStopClick();
    // What Stop does once confirmed: the run ends after the current transfer, which is aborted.
    void StopRun();
    void MenuFileStopClick();
    void SpeedButtonSkipFileClick();
    void SpeedButtonSkipURLClick();
    // What the run's clients report: the FTP client's status in the wide panel, the HTTP
    // client's in the narrow one; a redirect starts the current file's bar again.
    void NMFTP1Status(const std::string& status);
    void NMHTTP1Status(const std::string& status);
    void NMHTTP1Redirect(const std::string& address);

    // The command line's parameters, as the bytes they are.
    void FormCreate(const std::vector<std::string>& parameters);
    void FormShow();
    // Returns false when the window must stay open.
    bool FormClose();
    void UpdateControls();
    void MenuFileExitClick();
    void ListBoxFileListClick();
    void ListBoxURLListClick();
    void EditURLChange();
    void EditURLKeyDown(int key);
    void ButtonAddURLClick();
    void MenuSetupPreferencesClick();
    // Files dropped on the window: one list file replaces the URL List.
    void FormFilesDropped(const std::vector<std::string>& files);
    void ButtonChooseDirClick();
    void SpeedButtonHelpClick();
    void MenuHelpContentsClick();
    // Replaces the URL List by the entries of a list file; raises Exception on failure.
    void LoadURLList(const std::string& fileName);

    // Lists
    void PopupMenuPopup();
    void PopupMenuClick(QAction* item);
    void ListBoxURLListDblClick();
    void ListBoxURLListKeyDown(int key);
    void ButtonBuildClick();
    // The URL List kept beside the program for the next start: saved when the window closes,
    // loaded by a start that names no list file. A failed save is shown; returns whether it worked.
    bool SaveURLListForNextStart();
    void LoadURLListOfLastTime();

    // Help
    void MenuHelpAboutClick();
    void MenuHelpUpdatesClick();
    void MenuHelpReportBugClick();
    void MenuHelpTroubleShootClick();
    void MenuHelpCorvaneHomeClick();

    // Activity log and indicators. OnLogLine hears every line as it is written.
    std::function<void(const std::string& line)> OnLogLine;
    void WriteLog(const std::string& line, bool fileOnly = false);
    void ShowIndicator(TIndicator kind);
    void SetStatusPanel(int panel, const std::string& text);
    TLogLevel LogLevel() const override;

    // What the run reports, shown on the controls.
    void LogLine(const std::string& line, bool fileOnly) override;
    void StatusText(int panel, const std::string& text) override;
    void HttpStatus(const std::string& text) override;
    void FtpStatus(const std::string& text) override;
    void Redirected(const std::string& address) override;
    void Indicator(TIndicator kind) override;
    void Scanning(bool busy) override;
    void RunStateChanged() override;
    void Caption(const std::string& text) override;
    void URLSelected(int index) override;
    void FileSelected(int index) override;
    void ListProgress(int position, int last, const std::string& place) override;
    void FileProgress(std::int64_t received, std::int64_t expected) override;
    void Statistics(const std::string& text) override;
    void OutputPath(const std::string& path) override;
    void RunStarted() override;
    void RunEnded() override;
    void Alert() override;
    void ViewLog() override;
    void CloseProgram() override;

  signals:
    // The window has agreed to close: the program ends.
    void Closed();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    // Connects a control's signal to a handler that runs through the event guard: what the
    // handler raises is reported and never reaches the event loop.
    template <typename Sender, typename Signal, typename Handler>
    void Connect(Sender* sender, Signal signal, Handler handler)
    {
        connect(sender, signal, this,
                [this, handler] {
                    platform::Guarded(handler,
                                      [this](const std::string& message) { Robot->ReportCaught(message); });
                });
    }

    void CreateControls();
    // Places the controls for the client area's size: what it has beyond the size the window
    // opens at goes to the lists, the fields and the bars.
    void LayOutControls();
    void CreateMenus();
    // Go, Test, Stop and the skips, from the tool bar and the File menu.
    void ConnectRunCommands();
    void CreatePopupMenu();
    void ConnectHelpMenu();
    void OpenPopupMenu(TListBox* list);
    void SaveListAs();
    void LoadListFrom();
    void CopyEntries();
    void PasteEntries();
    bool AddURLAllowed() const;
    // The output directory new entries get: Save to as an absolute folder; empty when Save to is.
    std::string OutputDirectoryForEntries() const;
    // Empty bars and progress labels, no statistics: nothing of a run that is over.
    void ClearProgress();
    // After the user changed the lists: the controls follow.
    void ListsChanged();
    void SelectEntry(TListBox* list, int index);

    // The run's preferences: the dialog's controls and the filter fields, read when asked.
    std::string FilterText() const override;
    TFilterMode FilterMode() const override;
    bool Overwrite() const override;
    bool SaveImages() const override;
    bool PrintFiles() const override;
    int Retries() const override;
    int TimeOut() const override;
    int PauseSeconds() const override;
    bool PassiveFtp() const override;
    int SimultaneousTransfers() const override;
    std::int64_t LimitRate() const override;
    std::string CookiesFile() const override;
    std::string UserAgent() const override;
    bool CheckChecksums() const override;
    TAfterDownload AfterDownload() const override;
    bool StartAtChecked() const override;
    std::string StartTime() const override;
    std::string ProxyServer() const override;

    TFormPreferences* FormPreferences = nullptr;
    TFormAbout* FormAbout = nullptr;
    TFormChooseDir* FormChooseDir = nullptr;
    TFormURLBuilder* FormURLBuilder = nullptr;
    bool shownOnce = false;
    // The client area, and where each control that moves or grows stands at the opening size.
    QWidget* ClientArea = nullptr;
    struct TPlacement
    {
        QWidget* control;
        QRect opening;
        int rule;
    };
    std::vector<TPlacement> placements;
    QString idleCaption;
    // What "Save to" held when the run started; the field shows each file's path meanwhile.
    std::string outputPathBeforeRun;
};
