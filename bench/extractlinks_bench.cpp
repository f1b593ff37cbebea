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
    const std::string page = PageTextFromBytes(MakePage(static_cast<int>(state.range(0))));
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

void BM_PageTextFromBytes(benchmark::State& state)
{
    const std::string bytes = MakePage(static_cast<int>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(PageTextFromBytes(bytes));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes.size()));
}
BENCHMARK(BM_PageTextFromBytes)->Arg(200000);
} // namespace

BENCHMARK_MAIN();
