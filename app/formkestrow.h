#pragma once

#include <string>

#include <QMainWindow>

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
class TListBox;

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

    // The settings record; SettingsLoaded is false until FormShow has read it.
    TSettingsRecord Settings;

    // Run state shared with the handlers that run in the middle of a transfer.
    bool Running = false;
    bool StopRequested = false;
    bool SkipFileRequested = false;
    bool SkipURLRequested = false;

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
    // Replaces the URL List by the entries of a list file; raises Exception on failure.
    void LoadURLList(const std::string& fileName);

    // Activity log and indicators
    void WriteLog(const std::string& line, bool fileOnly = false);
    void ShowIndicator(int kind);
    void SetStatusPanel(int panel, const std::string& text);
    int LogLevel() const;

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void CreateControls();
    void CreateMenus();
    bool AddURLAllowed() const;

    TFormPreferences* FormPreferences = nullptr;
    bool shownOnce = false;
};
