#include "net/ratelimit.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include <QTimer>

namespace
{
// Readers in line are served at most this often, so a high limit makes few large reads rather
// than many small ones.
constexpr int ShortestRoundMilliseconds = 40;
} // namespace

TRateLimit::TRateLimit(std::int64_t bytesPerSecond, QObject* owner)
    : QObject(owner), rate(std::max<std::int64_t>(bytesPerSecond, 1)), timer(new QTimer(this))
{
    const double perSecond = static_cast<double>(rate);
    // An eighth of a second saved up keeps any 10 s window within a few per cent of the limit.
    burst = std::max(perSecond / 8, 1.0);
    smallestShare = std::clamp(perSecond / 20, 1.0, 16384.0);
    budget = smallestShare;
    clock.start();
    timer->setSingleShot(true);
    connect(timer, &QTimer::timeout, this, [this] { Serve(); });
}

TRateLimit::~TRateLimit()
{
    for (TReader* reader : line)
        reader->holding = false;
}

void TRateLimit::Refill()
{
    const qint64 now = clock.nsecsElapsed();
    budget =
        std::min(burst, budget + static_cast<double>(now - refilledAt) * static_cast<double>(rate) / 1e9);
    refilledAt = now;
}

std::int64_t TRateLimit::Allowance(TReader& reader)
{
    if (reader.granted > 0)
        return reader.granted;
    // Those already in line go first.
    if (reader.holding || !line.empty())
        return 0;
    Refill();
    return budget >= 1 ? static_cast<std::int64_t>(budget) : 0;
}

void TRateLimit::Spend(TReader& reader, std::int64_t bytes)
{
    const std::int64_t own = std::min(bytes, reader.granted);
    reader.granted -= own;
    if (bytes == own)
        return;
    Refill();
    budget -= static_cast<double>(bytes - own);
}

void TRateLimit::Hold(TReader& reader)
{
    if (reader.holding)
        return;
    reader.place = line.insert(line.end(), &reader);
    reader.holding = true;
    if (!timer->isActive())
        Schedule();
}

void TRateLimit::Forget(TReader& reader)
{
    if (reader.holding)
    {
        line.erase(reader.place);
        reader.holding = false;
    }
    if (reader.granted > 0)
    {
        Refill();
        budget = std::min(burst, budget + static_cast<double>(reader.granted));
        reader.granted = 0;
    }
    if (line.empty())
        timer->stop();
}

void TRateLimit::Schedule()
{
    Refill();
    // Until one share has grown, a debt paid off included.
    const double missing = smallestShare - budget;
    const double wait = missing > 0 ? std::ceil(missing * 1000 / static_cast<double>(rate)) : 0;
    timer->start(static_cast<int>(std::clamp(wait, double{ShortestRoundMilliseconds}, 3600.0 * 1000)));
}

void TRateLimit::Serve()
{
    if (line.empty())
        return;
    Refill();
    if (budget >= smallestShare)
    {
        // Equal shares for all in line; when that would be too little each, a share worth the
        // read for the first ones, and the others are first next time.
        const auto each = static_cast<std::int64_t>(
            std::max(std::floor(budget / static_cast<double>(line.size())), smallestShare));
        std::vector<TReader*> served;
        while (!line.empty() && budget >= static_cast<double>(each))
        {
            TReader* reader = line.front();
            line.pop_front();
            reader->holding = false;
            reader->granted += each;
            budget -= static_cast<double>(each);
            served.push_back(reader);
        }
        // Waking posts a read: nothing here changes under the loop.
        for (TReader* reader : served)
            if (reader->Wake)
                reader->Wake();
    }
    if (!line.empty())
        Schedule();
}
