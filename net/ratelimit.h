#pragma once

#include <cstdint>
#include <functional>
#include <list>

#include <QElapsedTimer>
#include <QObject>

class QTimer;

// A speed limit shared by every connection of a run: a token bucket on the one thread, refilled
// by the time that has passed. A connection reads only what its allowance says; once the budget
// is spent it stops reading (TCP holds the peer back) and waits in line, and the limit's one
// timer hands out the budget that has grown since, in equal shares, to the connections that wait.
// Nobody sleeps, and no connection is left out.
class TRateLimit : public QObject
{
    Q_OBJECT

  public:
    // One connection's place at the limit, kept by the connection.
    struct TReader
    {
        // Called once the reader has budget again, after Hold; it must not call back into the
        // limit before returning.
        std::function<void()> Wake;

      private:
        friend class TRateLimit;
        // Budget handed to this reader alone, not yet read.
        std::int64_t granted = 0;
        bool holding = false;
        std::list<TReader*>::iterator place;
    };

    explicit TRateLimit(std::int64_t bytesPerSecond, QObject* owner = nullptr);
    ~TRateLimit() override;

    std::int64_t BytesPerSecond() const { return rate; }

    // How many bytes the reader may read now; 0 when it must Hold.
    std::int64_t Allowance(TReader& reader);
    // The reader received bytes: they come out of its share, then out of the common budget, which
    // may go into debt (bytes that came with a close are taken whatever the budget says).
    void Spend(TReader& reader, std::int64_t bytes);
    // The reader has bytes waiting and no allowance: it waits in line for its share.
    void Hold(TReader& reader);
    // Whether the reader waits in line.
    bool Holding(const TReader& reader) const { return reader.holding; }
    // The reader goes: it leaves the line, and its unread share goes back to the others.
    void Forget(TReader& reader);

  private:
    void Refill();
    // Hands the budget out to the readers in line.
    void Serve();
    void Schedule();

    std::int64_t rate;
    // The most the budget holds: what a pause saves up comes out as a short burst at most.
    double burst;
    // The smallest share worth waking a reader for; with less budget than this for every reader
    // in line, the first ones in line are served and the rest go first next time.
    double smallestShare;
    double budget;
    QElapsedTimer clock;
    qint64 refilledAt = 0;
    std::list<TReader*> line;
    QTimer* timer;
};
