#pragma once

#include <functional>

#include <QIODevice>
#include <QObject>

enum class UUMethods
{
    uuMime = 0,
    uuCode = 1
};

// Encodes InputStream as lines of Base64 (MIME) or uuencode into OutputStream. The streams
// belong to the caller.
class TNMUUProcessor : public QObject
{
    Q_OBJECT

  public:
    using TNotifyEvent = std::function<void(QObject* sender)>;

    explicit TNMUUProcessor(QObject* owner = nullptr);

    UUMethods Method = UUMethods::uuMime;
    TNotifyEvent OnBeginEncode;
    TNotifyEvent OnEndEncode;
    TNotifyEvent OnBeginDecode;
    TNotifyEvent OnEndDecode;
    QIODevice* InputStream = nullptr;
    QIODevice* OutputStream = nullptr;

    // Raises Exception when a stream fails; OnEndEncode fires either way.
    void Encode();
};
