#include "auth/credentials.h"

#include "platform/bytetext.h"

std::string TCredentials::For(const std::string& place) const
{
    const auto found = values.find(bytetext::UpperCase(place));
    return found == values.end() ? std::string() : found->second;
}

void TCredentials::Store(const std::string& place, std::string credential)
{
    values[bytetext::UpperCase(place)] = std::move(credential);
}
