#include <benchmark/benchmark.h>

#include <string>
#include <string_view>

#include "net/receivebuffer.h"

namespace
{
// Feeds stream in chunks and takes every line as soon as it is whole, as ReadLn does.
std::size_t ReadLines(std::string_view stream, std::size_t chunk)
{
    TReceiveBuffer buffer;
    std::size_t lines = 0;
    for (std::size_t at = 0; at < stream.size(); at += chunk)
    {
        buffer.Append(stream.substr(at, chunk));
        while (const std::size_t length = buffer.LineLength())
        {
            benchmark::DoNotOptimize(buffer.Take(length));
            ++lines;
        }
    }
    return lines;
}

// A directory listing's worth of short lines, arriving in the socket's chunks.
void BM_ShortLines(benchmark::State& state)
{
    std::string stream;
    for (int i = 0; i < state.range(0); ++i)
        stream += "-rw-r--r--   1 ftp ftp  " + std::to_string(i * 37) + " Jan  1 12:00 file-" +
                  std::to_string(i) + ".zip\r\n";
    for (auto _ : state)
        benchmark::DoNotOptimize(ReadLines(stream, 16383));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(stream.size()));
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_ShortLines)->RangeMultiplier(10)->Range(1000, 100000)->Complexity(benchmark::oN);

// One long line that trickles in: each byte is searched once, not once per arrival.
void BM_LongLineInSmallPieces(benchmark::State& state)
{
    const std::string stream = std::string(static_cast<std::size_t>(state.range(0)), 'x') + "\n";
    for (auto _ : state)
        benchmark::DoNotOptimize(ReadLines(stream, 100));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(stream.size()));
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_LongLineInSmallPieces)->RangeMultiplier(4)->Range(4096, 262144)->Complexity(benchmark::oN);
} // namespace

BENCHMARK_MAIN();
