#include "net/streamdigest.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <utility>
#include <vector>

#include <QObject>

#include <openssl/evp.h>

#include "platform/exception.h"

namespace
{
struct TFreeContext
{
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

std::string Hex(const unsigned char* bytes, unsigned int count)
{
    static constexpr char Digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(count * 2);
    for (unsigned int i = 0; i < count; ++i)
    {
        text += Digits[bytes[i] >> 4];
        text += Digits[bytes[i] & 15];
    }
    return text;
}

// The first count bytes of the file go into the sum; an empty text when all went well.
std::string HashKept(EVP_MD_CTX* context, const std::string& fileName, std::int64_t count,
                     const std::atomic<bool>& quitting)
{
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(fileName.c_str(), "rb"), &std::fclose);
    if (!file)
        return "Cannot read " + fileName + " to check its sum";
    std::vector<unsigned char> buffer(1 << 20);
    while (count > 0 && !quitting)
    {
        const std::size_t wanted = static_cast<std::size_t>(std::min<std::int64_t>(count, buffer.size()));
        const std::size_t got = std::fread(buffer.data(), 1, wanted, file.get());
        if (got == 0)
            return "Cannot read " + fileName + " to check its sum";
        EVP_DigestUpdate(context, buffer.data(), got);
        count -= static_cast<std::int64_t>(got);
    }
    return {};
}
} // namespace

TStreamDigest::TStreamDigest(const std::string& algorithm) : context(std::make_unique<QObject>())
{
    md = EVP_get_digestbyname(algorithm.c_str());
    if (!md)
        throw Exception("Unknown checksum " + algorithm);
}

TStreamDigest::~TStreamDigest()
{
    {
        const std::lock_guard<std::mutex> guard(lock);
        quit = true;
        quitting = true;
        queue.clear();
    }
    wake.notify_all();
    if (worker.joinable())
        worker.join();
}

void TStreamDigest::Begin(const std::string& fileName, std::int64_t keptBytes)
{
    Post({TJob::Start, {}, fileName, keptBytes});
}

void TStreamDigest::Feed(QByteArray block)
{
    if (!block.isEmpty())
        Post({TJob::Block, std::move(block), {}, 0});
}

QByteArray TStreamDigest::Spare()
{
    QByteArray block;
    {
        const std::lock_guard<std::mutex> guard(lock);
        if (!spare.empty())
        {
            block = std::move(spare.front());
            spare.pop_front();
        }
    }
    block.truncate(0);
    return block;
}

TTask<std::string> TStreamDigest::FinishAsync()
{
    Post({TJob::End, {}, {}, 0});
    for (;;)
    {
        {
            const std::lock_guard<std::mutex> guard(lock);
            if (resultReady)
            {
                resultReady = false;
                if (!failure.empty())
                    throw Exception(failure);
                co_return result;
            }
        }
        // The helper's notice is a queued call: it comes only once this step waits.
        co_await ready.Wait();
    }
}

void TStreamDigest::Post(TJob job)
{
    if (!worker.joinable())
        worker = std::thread([this] { Work(); });
    {
        std::unique_lock<std::mutex> guard(lock);
        room.wait(guard, [this] { return queue.size() < MostQueued; });
        queue.push_back(std::move(job));
    }
    wake.notify_one();
}

void TStreamDigest::Work()
{
    QObject* notices = this->context.get();
    const std::unique_ptr<EVP_MD_CTX, TFreeContext> context(EVP_MD_CTX_new());
    const EVP_MD* digest = static_cast<const EVP_MD*>(md);
    EVP_DigestInit_ex(context.get(), digest, nullptr);
    std::string error;
    for (;;)
    {
        TJob job;
        {
            std::unique_lock<std::mutex> guard(lock);
            wake.wait(guard, [this] { return quit || !queue.empty(); });
            if (quit)
                return;
            job = std::move(queue.front());
            queue.pop_front();
        }
        room.notify_all();
        switch (job.Kind)
        {
        case TJob::Start:
            EVP_DigestInit_ex(context.get(), digest, nullptr);
            error = job.Kept > 0 ? HashKept(context.get(), job.FileName, job.Kept, quitting) : std::string();
            break;
        case TJob::Block:
            EVP_DigestUpdate(context.get(), job.Bytes.constData(),
                             static_cast<std::size_t>(job.Bytes.size()));
            {
                // Every block is kept for reuse: a new one is made only while none is spare, so
                // there are never more than the queue, the one hashed and the one being filled.
                // Handing memory back and taking it again costs more than the hashing.
                const std::lock_guard<std::mutex> guard(lock);
                spare.push_back(std::move(job.Bytes));
            }
            break;
        case TJob::End:
        {
            unsigned char sum[EVP_MAX_MD_SIZE];
            unsigned int length = 0;
            EVP_DigestFinal_ex(context.get(), sum, &length);
            EVP_DigestInit_ex(context.get(), digest, nullptr);
            {
                const std::lock_guard<std::mutex> guard(lock);
                result = Hex(sum, length);
                failure = std::exchange(error, std::string());
                resultReady = true;
            }
            // The context lives until this thread has been joined.
            QMetaObject::invokeMethod(
                notices, [this] { ready.Notify(); }, Qt::QueuedConnection);
            break;
        }
        }
    }
}
