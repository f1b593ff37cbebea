#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

// The order of a run's log when several transfers go on at once. Each transfer writes into a
// block of its own; a block goes out whole, in the order the blocks end, and the blocks of a URL
// List entry only after every block of the entries before it. One block at a time goes out as it
// is written (the one under way when nothing else is pending), so that a run of one transfer at
// a time writes exactly as it always did, and as it happens.
class TRunLog
{
  public:
    using TWriter = std::function<void(const std::string& line, bool fileOnly)>;
    explicit TRunLog(TWriter write);

    // A new block of the entry's lines; entries count from 0.
    int Open(int entry);
    void Write(int block, const std::string& line, bool fileOnly = false);
    // The block has all its lines.
    void Close(int block);
    // The entry opens no more blocks.
    void EntryEnded(int entry);
    // Every block goes out, ended or not, in the order of its entry: the run is over.
    void Flush();
    // A new run starts with its first entry.
    void Reset();

  private:
    struct TBlock
    {
        int Entry = 0;
        bool Closed = false;
        std::uint64_t ClosedAs = 0;
        std::vector<std::pair<std::string, bool>> Lines;
    };
    void Pump();
    void WriteOut(TBlock& block);

    TWriter write;
    std::map<int, TBlock> blocks;
    std::map<int, bool> entriesEnded;
    int nextBlock = 0;
    std::uint64_t closings = 0;
    // The entry whose blocks go out, and the block written as it comes (-1: none).
    int openEntry = 0;
    int live = -1;
};
