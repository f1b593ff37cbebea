#pragma once

#include <functional>
#include <string>

#include <QDialog>

#include "settings/settings.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTableWidget;

// The preferences window: time-out, retries, pause, transfers at once, proxy, log level, what to do with
// files and after a run, the scheduled start, and the activity log. Created once and shown or hidden
// (modeless). The run and the log writer read its controls whenever they need a
// preference, so a change counts from the next reading on.
class TFormOpenFile;

class TFormPreferences : public QDialog
{
    Q_OBJECT

  public:
    // settings is the main window's record: the dialog takes its values from it once they
    // have been read (SettingsLoaded) and gives them back each time it is hidden.
    // logFileName gives the activity log file that Clear deletes.
    TFormPreferences(TSettingsRecord& settings, std::function<std::string()> logFileName,
                     QWidget* parent = nullptr);

    QLabel* Label1;
    QSpinBox* SpinEditTimeOut;
    QLabel* Label2;
    QLabel* Label3;
    QSpinBox* SpinEditRetries;
    QLabel* LabelPause;
    QSpinBox* SpinEditPause;
    QLabel* LabelPauseUnit;
    QCheckBox* CheckBoxPassiveFtp;
    QLabel* LabelSimultaneous;
    QSpinBox* SpinEditSimultaneous;
    QLabel* LabelLimitRate;
    QSpinBox* SpinEditLimitRate;
    QLabel* LabelLimitRateUnit;
    QCheckBox* CheckBoxChecksums;
    QLabel* LabelUserAgent;
    QLineEdit* EditUserAgent;
    QLabel* LabelCookiesFile;
    QLineEdit* EditCookiesFile;
    QPushButton* ButtonCookiesFile;
    QLabel* Label4;
    QLineEdit* EditProxyServer;
    QLabel* Label5;
    QComboBox* ComboBoxLog;
    QCheckBox* CheckBoxOverWrite;
    QCheckBox* CheckBoxSaveImages;
    QCheckBox* CheckBoxPrint;
    QGroupBox* GroupBox1;
    QRadioButton* RadioButtonDLNothing;
    QRadioButton* RadioButtonDLClose;
    QRadioButton* RadioButtonDLShutDown;
    QCheckBox* CheckBoxStartAt;
    QLabel* StaticTextStartTime;
    QTableWidget* StringGridStartTime;
    QPlainTextEdit* MemoLog;
    QPushButton* BitBtn1;
    QPushButton* BitBtnOK;

    // Copies the stored values into the controls. FormCreate does it when the settings
    // were read before the dialog was created; otherwise the main window calls this once
    // it has read them. Until then, hiding the dialog gives nothing back to the record.
    void TakeSettings();
    bool SettingsTaken() const { return settingsTaken; }

    // The identity and the cookies file as typed, trimmed; the identity as one line, since a line
    // break in it would split the requests it goes in.
    std::string UserAgentText() const;
    std::string CookiesFileText() const;

    // The scheduled start time: the text of the grid's selected cell ("hh:nn").
    std::string SelectedStartTime() const;

    // Appends a line to MemoLog and keeps the end of the log in view, every line from its start.
    void AppendLog(const std::string& line);
    // Shows the last line of the log at its first character.
    void ShowLogEnd();

    void FormCreate();
    void FormHide();
    void BitBtnOKClick();
    void BitBtn1Click();
    // Chooses the cookies file in the open dialog, starting at the one named.
    void ButtonCookiesFileClick();
    void CheckBoxStartAtClick();
    void StringGridStartTimeDblClick();
    void FormClick();
    void MemoLogClick();

  protected:
    void hideEvent(QHideEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void CreateControls();
    void HideGridAndClearStartAt();

    TSettingsRecord& Settings;
    TFormOpenFile* CookiesDialog = nullptr;
    std::function<std::string()> LogFileName;
    bool settingsTaken = false;
};
