// The window's side of the download run: the buttons that drive it, what it reports shown on the
// controls, and the preferences it reads from the preferences dialog.
#include "app/formkestrow.h"

#include <algorithm>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QSpinBox>
#include <QToolButton>

#include "app/elidedlabel.h"
#include "app/listbox.h"
#include "platform/prompt.h"
#include "platform/widgettext.h"
#include "robot/savepaths.h"
#include "robot/sizetext.h"
#include "settings/formpreferences.h"

void TFormKestrow::SpeedButtonGoClick(QObject* sender)
{
    Robot->Go(sender == SpeedButtonTest);
}

void TFormKestrow::MenuFileGoClick()
{
    SpeedButtonGoClick(this);
}

void TFormKestrow::SpeedButtonStopClick()
{
    if (platform::Confirm("Stop downloads?"))
        StopRun();
}

void TFormKestrow::StopRun()
{
    Robot->RequestStop();
}

void TFormKestrow::MenuFileStopClick()
{
    SpeedButtonStopClick();
}

void TFormKestrow::SpeedButtonSkipFileClick()
{
    // The file the user chose, if it is waiting or under way; else every file under way.
    if (platform::Confirm("Skip this file?"))
        Robot->RequestSkipFile(ListBoxFileList->ItemIndex());
}

void TFormKestrow::SpeedButtonSkipURLClick()
{
    if (platform::Confirm("Skip this URL?"))
        Robot->RequestSkipURL();
}

void TFormKestrow::NMFTP1Status(const std::string& status)
{
    SetStatusPanel(0, status);
}

void TFormKestrow::NMHTTP1Status(const std::string& status)
{
    SetStatusPanel(1, status);
}

void TFormKestrow::NMHTTP1Redirect(const std::string& /*address*/)
{
    FileProgress(0, 0);
}

TLogLevel TFormKestrow::LogLevel() const
{
    return FormPreferences ? static_cast<TLogLevel>(FormPreferences->ComboBoxLog->currentIndex())
                           : TLogLevel::None;
}

void TFormKestrow::WriteLog(const std::string& line, bool fileOnly)
{
    Robot->WriteLog(line, fileOnly);
}

void TFormKestrow::ShowIndicator(TIndicator kind)
{
    if (kind < TIndicator::None || kind > TIndicator::Error)
        return;
    ImageTimer->setVisible(kind == TIndicator::Timer);
    ImageOK->setVisible(kind == TIndicator::OK);
    ImageError->setVisible(kind == TIndicator::Error);
}

void TFormKestrow::SetStatusPanel(int panel, const std::string& text)
{
    (panel == 0 ? StatusPanel0 : StatusPanel1)->SetText(platform::ToQString(text));
}

void TFormKestrow::SelectEntry(TListBox* list, int index)
{
    // Selecting another entry first makes the list scroll and repaint at the top, too.
    if (index == 0)
        list->SetItemIndex(1);
    list->SetItemIndex(index);
}

void TFormKestrow::LogLine(const std::string& line, bool fileOnly)
{
    if (OnLogLine)
        OnLogLine(line);
    if (!fileOnly && FormPreferences)
        FormPreferences->AppendLog(line);
}

void TFormKestrow::StatusText(int panel, const std::string& text)
{
    SetStatusPanel(panel, text);
}

void TFormKestrow::HttpStatus(const std::string& text)
{
    NMHTTP1Status(text);
}

void TFormKestrow::FtpStatus(const std::string& text)
{
    NMFTP1Status(text);
}

void TFormKestrow::Redirected(const std::string& address)
{
    NMHTTP1Redirect(address);
}

void TFormKestrow::Indicator(TIndicator kind)
{
    ShowIndicator(kind);
}

void TFormKestrow::Scanning(bool busy)
{
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void TFormKestrow::RunStateChanged()
{
    UpdateControls();
}

void TFormKestrow::Caption(const std::string& text)
{
    setWindowTitle(text.empty() ? idleCaption : platform::ToQString(text));
}

void TFormKestrow::URLSelected(int index)
{
    SelectEntry(ListBoxURLList, index);
}

void TFormKestrow::FileSelected(int index)
{
    SelectEntry(ListBoxFileList, index);
    ListBoxFileList->repaint();
}

namespace
{
// A bar with nothing to measure stays empty and still; a maximum of 0 would make it a busy bar.
void ShowNothing(QProgressBar* bar)
{
    bar->setRange(0, 1);
    bar->setValue(0);
}
} // namespace

void TFormKestrow::ListProgress(int position, int last, const std::string& place)
{
    if (last <= 0)
        ShowNothing(ProgressBarList);
    else
    {
        ProgressBarList->setRange(0, last);
        ProgressBarList->setValue(position);
    }
    LabelOverallProgress->setText(platform::ToQString(place));
}

void TFormKestrow::FileProgress(std::int64_t received, std::int64_t expected)
{
    if (received == 0 && expected == 0)
    {
        ShowNothing(ProgressBarFile);
        LabelFileProgress->clear();
        return;
    }
    if (expected <= 0)
        ShowNothing(ProgressBarFile);
    else
    {
        // The bar counts in 32 bits; larger sizes are scaled down together.
        int shift = 0;
        while ((std::max(expected, received) >> shift) > 0x7FFFFFFF)
            ++shift;
        ProgressBarFile->setRange(0, static_cast<int>(expected >> shift));
        ProgressBarFile->setValue(static_cast<int>(std::min(received, expected) >> shift));
    }
    LabelFileProgress->setText(platform::ToQString(
        received < expected ? SizeText(received) + " of " + SizeText(expected) : SizeText(received)));
    LabelFileProgress->repaint();
}

void TFormKestrow::Statistics(const std::string& text)
{
    LabellStats->setText(platform::ToQString(text));
}

void TFormKestrow::OutputPath(const std::string& path)
{
    EditOutputPath->setText(platform::ToQString(path.empty() ? outputPathBeforeRun : path));
}

void TFormKestrow::RunStarted()
{
    idleCaption = windowTitle();
    outputPathBeforeRun = AddBackslash(platform::ToStdString(EditOutputPath->text()));
    EditOutputPath->setText(platform::ToQString(outputPathBeforeRun));
}

void TFormKestrow::RunEnded()
{
    EditOutputPath->setText(platform::ToQString(outputPathBeforeRun));
}

void TFormKestrow::Alert()
{
    QApplication::alert(this);
}

void TFormKestrow::ViewLog()
{
    MenuSetupPreferencesClick();
}

void TFormKestrow::CloseProgram()
{
    close();
}

std::string TFormKestrow::FilterText() const
{
    return platform::ToStdString(EditExtension->text());
}

TFilterMode TFormKestrow::FilterMode() const
{
    return RadioButtonContains->isChecked() ? TFilterMode::Contains : TFilterMode::EndsWith;
}

bool TFormKestrow::Overwrite() const
{
    return FormPreferences && FormPreferences->CheckBoxOverWrite->isChecked();
}

bool TFormKestrow::SaveImages() const
{
    return FormPreferences && FormPreferences->CheckBoxSaveImages->isChecked();
}

bool TFormKestrow::PrintFiles() const
{
    return FormPreferences && FormPreferences->CheckBoxPrint->isChecked();
}

int TFormKestrow::Retries() const
{
    return FormPreferences ? FormPreferences->SpinEditRetries->value() : 5;
}

int TFormKestrow::TimeOut() const
{
    return FormPreferences ? FormPreferences->SpinEditTimeOut->value() : 60;
}

int TFormKestrow::PauseSeconds() const
{
    return FormPreferences ? FormPreferences->SpinEditPause->value() : 1;
}

bool TFormKestrow::PassiveFtp() const
{
    return FormPreferences && FormPreferences->CheckBoxPassiveFtp->isChecked();
}

int TFormKestrow::SimultaneousTransfers() const
{
    return FormPreferences ? FormPreferences->SpinEditSimultaneous->value() : DefaultSimultaneousTransfers;
}

std::int64_t TFormKestrow::LimitRate() const
{
    return FormPreferences ? std::int64_t{FormPreferences->SpinEditLimitRate->value()} * 1024 : 0;
}

std::string TFormKestrow::CookiesFile() const
{
    return FormPreferences ? FormPreferences->CookiesFileText() : std::string();
}

std::string TFormKestrow::UserAgent() const
{
    return FormPreferences ? FormPreferences->UserAgentText() : std::string();
}

bool TFormKestrow::CheckChecksums() const
{
    return !FormPreferences || FormPreferences->CheckBoxChecksums->isChecked();
}

TAfterDownload TFormKestrow::AfterDownload() const
{
    if (!FormPreferences || FormPreferences->RadioButtonDLNothing->isChecked())
        return TAfterDownload::Nothing;
    if (FormPreferences->RadioButtonDLClose->isChecked())
        return TAfterDownload::Close;
    return FormPreferences->RadioButtonDLShutDown->isChecked() ? TAfterDownload::ShutDown
                                                               : TAfterDownload::Nothing;
}

bool TFormKestrow::StartAtChecked() const
{
    return FormPreferences && FormPreferences->CheckBoxStartAt->isChecked();
}

std::string TFormKestrow::StartTime() const
{
    return FormPreferences ? FormPreferences->SelectedStartTime() : std::string();
}

std::string TFormKestrow::ProxyServer() const
{
    return FormPreferences ? platform::ToStdString(FormPreferences->EditProxyServer->text()) : std::string();
}
