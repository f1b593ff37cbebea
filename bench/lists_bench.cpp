// The work lists at their sizes: the URL builder's million entries, list files of a million
// lines, and a paste of a hundred thousand, each through the window's own code on Qt's
// offscreen platform. Run: build/bin/kestrow_bench_lists --benchmark_min_time=1x
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QSpinBox>
#include <QTimer>

#include "app/formkestrow.h"
#include "app/listbox.h"
#include "links/formurlbuilder.h"
#include "links/listfile.h"
#include "links/urlsequence.h"
#include "platform/prompt.h"

namespace
{
std::string Home()
{
    static const std::string home = []
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "kestrow-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            std::abort();
        return pattern + "/";
    }();
    return home;
}

std::vector<std::string> Entries(int count)
{
    TURLSequence sequence;
    sequence.Start = "http://www.example.com/gallery/img";
    sequence.To = count - 1;
    sequence.End = ".jpg";
    sequence.OutputDir = "/home/me/Downloads/gallery/";
    return SequenceEntries(sequence, 0, count);
}

void BM_SequenceEntries(benchmark::State& state)
{
    TURLSequence sequence;
    sequence.Start = "http://www.example.com/gallery/img";
    sequence.To = 1000000;
    sequence.End = ".jpg";
    sequence.OutputDir = "/home/me/Downloads/gallery/";
    for (auto _ : state)
        benchmark::DoNotOptimize(SequenceEntries(sequence, 0, SequenceCount(sequence)).size());
}
BENCHMARK(BM_SequenceEntries)->Unit(benchmark::kMillisecond);

// From 0 to 1,000,000: the sample made in parts while events run, then OK into the URL List.
// longest_busy_ms is the longest time the event loop had to wait meanwhile.
void BM_BuilderMillionToUrlList(benchmark::State& state)
{
    TFormKestrow form;
    TFormURLBuilder builder(&form);
    form.AttachURLBuilder(&builder);
    builder.show();
    qint64 longestBusy = 0;
    for (auto _ : state)
    {
        builder.SpinEditTo->setValue(10);
        QApplication::processEvents();
        QElapsedTimer sinceEvent;
        sinceEvent.start();
        QTimer heartbeat;
        QObject::connect(&heartbeat, &QTimer::timeout,
                         [&] { longestBusy = std::max(longestBusy, sinceEvent.restart()); });
        heartbeat.start(1);
        builder.SpinEditTo->setValue(1000000);
        while (!builder.SampleReady())
            QApplication::processEvents(QEventLoop::WaitForMoreEvents);
        heartbeat.stop();
        builder.BitBtnAddClick();
        if (form.ListBoxURLList->Count() != 1000001)
            state.SkipWithError("the URL List did not receive the sample");
    }
    state.counters["longest_busy_ms"] = static_cast<double>(longestBusy);
}
BENCHMARK(BM_BuilderMillionToUrlList)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_LoadMillionLineListFile(benchmark::State& state)
{
    const std::string file = Home() + "million.kes";
    WriteListFile(file, Entries(1000000));
    TFormKestrow form;
    for (auto _ : state)
    {
        form.LoadURLList(file);
        benchmark::DoNotOptimize(form.ListBoxURLList->Count());
    }
}
BENCHMARK(BM_LoadMillionLineListFile)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_SaveMillionLineUrlList(benchmark::State& state)
{
    setenv("KESTROW_HOME", Home().c_str(), 1);
    TFormKestrow form;
    form.ListBoxURLList->SetItems(Entries(1000000));
    for (auto _ : state)
        if (!form.SaveURLListForNextStart())
            state.SkipWithError("not saved");
    state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(Home() + "URLList.kes"));
}
BENCHMARK(BM_SaveMillionLineUrlList)->Unit(benchmark::kMillisecond)->Iterations(5);

// A hundred thousand lines from the clipboard, half with an output directory, after 1,000 entries.
void BM_PasteHundredThousandLines(benchmark::State& state)
{
    TFormKestrow form;
    std::vector<std::string> lines = Entries(100000);
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i)
        text += (i % 2 ? lines[i] : lines[i].substr(0, lines[i].find("->"))) + "\r\n";
    QApplication::clipboard()->setText(QString::fromStdString(text));
    form.EditOutputPath->setText("/home/me/Downloads");
    for (auto _ : state)
    {
        state.PauseTiming();
        form.ListBoxURLList->SetItems(Entries(1000));
        state.ResumeTiming();
        form.PopupMenuPaste->trigger();
        if (form.ListBoxURLList->Count() != 101000)
            state.SkipWithError("the paste did not arrive whole");
    }
}
BENCHMARK(BM_PasteHundredThousandLines)->Unit(benchmark::kMillisecond)->Iterations(5);
} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    platform::ScriptedPrompts prompts;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove_all(Home());
    return 0;
}
