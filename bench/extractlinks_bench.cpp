#include <benchmark/benchmark.h>

#include <string>

#include "links/linkextraction.h"

namespace
{
std::string MakePage(int links)
{
    std::string page = "<html><body><table>\r\n";
    for (int i = 0; i < links; ++i)
        page += "<tr><td><A HREF=\"files/d" + std::to_string(i % 97) + "/file-" + std::to_string(i) +
                (i % 2 ? ".html" : ".zip") + "\">file " + std::to_string(i) + "</a></td><td>" +
                std::to_string(i * 7 % 100000) + " bytes</td></tr>\r\n";
    return page + "</table></body></html>\r\n";
}

void BM_ExtractLinks(benchmark::State& state)
{
    const std::string page = MakePage(static_cast<int>(state.range(0)));
    TLinkList list;
    for (auto _ : state)
    {
        ExtractLinksFromText(page, ".zip", TFilterMode::Contains, list);
        benchmark::DoNotOptimize(list.Count());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(page.size()));
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_ExtractLinks)->RangeMultiplier(10)->Range(1000, 200000)->Complexity(benchmark::oN);

// A page far larger than any window the scanner holds, fed as a file would be, in pieces.
void BM_ScanInPieces(benchmark::State& state)
{
    const std::string page = MakePage(200000);
    std::size_t held = 0;
    for (auto _ : state)
    {
        std::size_t links = 0;
        TLinkScanner scanner(TLinkScanner::TKind::Links, [&links](TLinkScanner::TFound&) { ++links; });
        for (std::size_t at = 0; at < page.size(); at += 1 << 18)
            scanner.Feed(std::string_view(page).substr(at, 1 << 18));
        scanner.Finish();
        held = scanner.PeakHeldBytes();
        benchmark::DoNotOptimize(links);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(page.size()));
    state.counters["peak_held_bytes"] = static_cast<double>(held);
}
BENCHMARK(BM_ScanInPieces);
} // namespace

BENCHMARK_MAIN();
