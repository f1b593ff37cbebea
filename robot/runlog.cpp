#include "robot/runlog.h"

TRunLog::TRunLog(TWriter write) : write(std::move(write)) {}

void TRunLog::Reset()
{
    blocks.clear();
    entriesEnded.clear();
    openEntry = 0;
    live = -1;
}

int TRunLog::Open(int entry)
{
    const int block = nextBlock++;
    blocks[block].Entry = entry;
    Pump();
    return block;
}

void TRunLog::Write(int block, const std::string& line, bool fileOnly)
{
    const auto found = blocks.find(block);
    if (block == live || found == blocks.end())
    {
        write(line, fileOnly);
        return;
    }
    found->second.Lines.emplace_back(line, fileOnly);
}

void TRunLog::Close(int block)
{
    const auto found = blocks.find(block);
    if (found == blocks.end())
        return;
    found->second.Closed = true;
    found->second.ClosedAs = closings++;
    Pump();
}

void TRunLog::EntryEnded(int entry)
{
    entriesEnded[entry] = true;
    Pump();
}

void TRunLog::WriteOut(TBlock& block)
{
    for (const auto& [line, fileOnly] : block.Lines)
        write(line, fileOnly);
    block.Lines.clear();
}

void TRunLog::Pump()
{
    for (;;)
    {
        if (live >= 0)
        {
            if (!blocks.at(live).Closed)
                return;
            blocks.erase(live);
            live = -1;
        }
        // The blocks of the open entry that have ended go out in the order they ended.
        auto first = blocks.end();
        auto underWay = blocks.end();
        for (auto block = blocks.begin(); block != blocks.end(); ++block)
        {
            if (block->second.Entry != openEntry)
                continue;
            if (block->second.Closed &&
                (first == blocks.end() || block->second.ClosedAs < first->second.ClosedAs))
                first = block;
            if (!block->second.Closed && underWay == blocks.end())
                underWay = block;
        }
        if (first != blocks.end())
        {
            WriteOut(first->second);
            blocks.erase(first);
            continue;
        }
        // Then the earliest block under way is written as it comes.
        if (underWay != blocks.end())
        {
            WriteOut(underWay->second);
            live = underWay->first;
            return;
        }
        if (!entriesEnded[openEntry])
            return;
        entriesEnded.erase(openEntry);
        ++openEntry;
    }
}

void TRunLog::Flush()
{
    live = -1;
    for (auto& [number, block] : blocks)
        block.Closed = true;
    // Entries in their order, and within each the order of its blocks.
    while (!blocks.empty())
    {
        auto first = blocks.begin();
        for (auto block = blocks.begin(); block != blocks.end(); ++block)
            if (block->second.Entry < first->second.Entry)
                first = block;
        WriteOut(first->second);
        blocks.erase(first);
    }
    entriesEnded.clear();
}
