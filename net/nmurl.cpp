#include "net/nmurl.h"

#include "platform/bytetext.h"

TNMURL::TNMURL(QObject* owner) : QObject(owner) {}

std::string TNMURL::Decode()
{
    std::string result;
    result.reserve(InputString.size());
    for (std::size_t i = 0; i < InputString.size(); ++i)
    {
        const char c = InputString[i];
        if (c == '+')
            result += ' ';
        else if (c == '%')
        {
            const std::string digits = InputString.substr(i + 1, 2);
            const int high = digits.size() == 2 ? bytetext::HexDigitValue(digits[0]) : -1;
            const int low = digits.size() == 2 ? bytetext::HexDigitValue(digits[1]) : -1;
            if (high < 0 || low < 0)
            {
                if (OnError)
                    OnError(this, "Error during decode", "'$" + digits + "' is not a valid integer value");
                return InputString;
            }
            result += static_cast<char>(high * 16 + low);
            i += 2;
        }
        else
            result += c;
    }
    return result;
}
