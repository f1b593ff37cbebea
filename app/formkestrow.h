#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include <QDateTime>
#include <QElapsedTimer>
#include <QMainWindow>

#include "links/linklist.h"
#include "settings/settings.h"

class QAction;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTimer;
class QToolButton;
class TFormPreferences;
class THttpEvents;
class TListBox;
class TNMFTP;
class TNMHTTP;
struct TURLParts;

// The main window: the robot's lists, progress and controls. Created once at start-up and
// kept until the program ends.
class TFormKestrow : public QMainWindow
{
    Q_OBJECT

  public:
    explicit TFormKestrow(QWidget* parent = nullptr);
    ~TFormKestrow() override;

    // The windows start-up creates after this one.
    void AttachPreferences(TFormPreferences* preferences);

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
    QLabel* StatusPanel0;
    QLabel* StatusPanel1;
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

    QTimer* TimerConnect;
    TNMHTTP* NMHTTP1;
    TNMFTP* NMFTP1;
    std::unique_ptr<THttpEvents> HttpEvents;

    // The settings record; SettingsLoaded is false until FormShow has read it.
    TSettingsRecord Settings;

    // Run state shared with the handlers that run in the middle of a transfer.
    bool Running = false;
    bool StopRequested = false;
    bool SkipFileRequested = false;
    bool SkipURLRequested = false;
    bool PatentPage = false;
    std::uint64_t FilesDone = 0;
    std::int64_t BytesDone = 0;
    QDateTime RunStart;
    std::string CurrentURL;
    // Errors of the last run: failed pages and files that failed on their last attempt.
    int ErrorCount = 0;

    // True from Go until the run has returned, also while a stopped run leaves its transfer,
    // so that two runs never interleave.
    bool RunActive() const { return runActive; }

    // Download run
    void SpeedButtonGoClick(QObject* sender);
    void MenuFileGoClick();
    void SpeedButtonStopClick();
    // What Stop does once confirmed: the run ends after the current transfer, which is aborted.
    void StopRun();
    void MenuFileStopClick();
    void SpeedButtonSkipFileClick();
    void SpeedButtonSkipURLClick();
    void TimerConnectTimer();
    void NMHTTP1PacketRecvd();
    void NMFTP1PacketRecvd();
    void NMFTP1Status(const std::string& status);

    void FormCreate(const QStringList& parameters);
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
    void FormFilesDropped(const QStringList& files);
    void ButtonChooseDirClick();
    void SpeedButtonHelpClick();
    void MenuHelpContentsClick();
    // Replaces the URL List by the entries of a list file; raises Exception on failure.
    void LoadURLList(const std::string& fileName);

    // Activity log and indicators. OnLogLine hears every line as it is written.
    std::function<void(const std::string& line)> OnLogLine;
    void WriteLog(const std::string& line, bool fileOnly = false);
    void ShowIndicator(int kind);
    void SetStatusPanel(int panel, const std::string& text);
    int LogLevel() const;

    // Appends the found entries that the seen list does not hold to the target, in order.
    static void MergeNewLinks(const TLinkList& seen, const TLinkList& found, TListBox& target);
    // Whether the start of a saved file is an HTML page; title gets its upper-cased title.
    static bool ReadPageTitle(const std::string& fileName, std::string& title);

  signals:
    // The window has agreed to close: the program ends.
    void Closed();

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void CreateControls();
    void CreateMenus();
    void CreateClients();
    bool AddURLAllowed() const;

    // Working data of one run.
    struct TRun
    {
        bool TestRun = false;
        int RetryCount = 0;
        TLinkList PageLinks;
        TLinkList SeenLinks;
        std::string OutputDir;
        std::string PatentNumber;
        std::string SavedOutputPath;
        std::string CurrentFile;
        QElapsedTimer LastFileStart;
    };

    void StartRun(TRun& run);
    void ScheduledWait();
    void SetUpRun(TRun& run);
    void ProcessURL(TRun& run, int j);
    void FetchPage(TRun& run, const TURLParts& parts);
    void ProcessFile(TRun& run, int& i);
    // Returns the bytes the transfer brought.
    std::int64_t TransferFile(TRun& run, const std::string& entry, const std::string& outputPath, int& i);
    void FetchFtpFile(const TURLParts& parts, const std::string& localFile);
    void FetchHttpFile(const std::string& fileURL, const std::string& bodyFile);
    void KeepOrDiscard(TRun& run, const std::string& transferPath, const std::string& outputPath, int& i,
                       bool http);
    void Bookkeeping(std::int64_t bytes, const std::string& outputPath);
    void ShowFileProgress(std::int64_t received, std::int64_t expected);
    void AbortClients();
    void PrintFile(const std::string& outputPath);
    void FailFile(TRun& run, const std::string& message, int& i);
    void EndRun(TRun& run);
    void MergePageLinks(TRun& run);
    void SelectEntry(TListBox* list, int index);
    void SetCaption(const std::string& text);
    int Retries() const;
    bool Overwrite() const;
    bool SaveImages() const;

    TFormPreferences* FormPreferences = nullptr;
    bool shownOnce = false;
    bool runActive = false;
    QString idleCaption;
};
