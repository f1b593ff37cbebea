#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A numbered run of addresses such as img001.html, img002.html, ... as URL List entries:
// start (trimmed) + counter + end + "->" + output directory. The counter goes from From to To
// in steps of Add and is written with at least Digits digits, zeros in front.
struct TURLSequence
{
    std::string Start;
    std::int64_t From = 0;
    std::int64_t To = 10;
    std::int64_t Add = 1;
    int Digits = 3;
    std::string End;
    std::string OutputDir;
};

// How many entries the sequence has: (To - From) div Add + 1 when From <= To, none when From > To.
// A step of 0 would never reach To; it gives the one entry of From.
std::int64_t SequenceCount(const TURLSequence& sequence);

// The counter written with at least digits digits ("%0.<digits>d"); 0 digits adds no zeros.
std::string SequenceNumber(std::int64_t counter, int digits);

// The entries from position first on (counted from 0), at most count of them.
std::vector<std::string> SequenceEntries(const TURLSequence& sequence, std::int64_t first,
                                         std::int64_t count);
