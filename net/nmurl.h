#pragma once

#include <functional>
#include <string>

#include <QObject>

// URL-decodes InputString: "+" becomes a blank and "%" with two hexadecimal digits the byte
// they name. A malformed escape fires OnError and gives back the input unchanged.
class TNMURL : public QObject
{
    Q_OBJECT

  public:
    using TOnErrorEvent =
        std::function<void(QObject* sender, const std::string& operation, const std::string& errMsg)>;

    explicit TNMURL(QObject* owner = nullptr);

    std::string InputString;
    TOnErrorEvent OnError;

    std::string Decode();
};
