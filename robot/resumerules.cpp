#include "robot/resumerules.h"

#include "platform/bytetext.h"

namespace resumerules
{
bool UsableValidator(std::string_view validator)
{
    return !validator.empty() && !validator.starts_with("W/") && !bytetext::HasControlByte(validator);
}

std::string HttpValidator(std::string_view etag, std::string_view lastModified, std::string_view date)
{
    if (UsableValidator(etag))
        return std::string(etag);
    const std::optional<std::int64_t> changed = httpparse::HttpDate(lastModified);
    const std::optional<std::int64_t> sent = httpparse::HttpDate(date);
    if (changed && sent && *changed + 1 <= *sent && UsableValidator(lastModified))
        return std::string(lastModified);
    return {};
}

TPartVerdict JudgePart(const httpparse::TContentRange& range, std::int64_t length,
                       std::string_view answerValidator, std::int64_t from, std::string_view validator,
                       std::int64_t total)
{
    const bool wellFormed = range.First >= 0 && range.Last >= range.First && range.Total > range.Last;
    if (from > 0 && (!wellFormed || range.First != from || (total >= 0 && range.Total != total) ||
                     answerValidator.empty() || answerValidator != validator))
        return TPartVerdict::OtherVersion;
    if (!wellFormed || range.First != from || range.Last != range.Total - 1 ||
        (length >= 0 && length != range.Last - range.First + 1))
        return TPartVerdict::Bad;
    return TPartVerdict::Rest;
}

std::int64_t FtpWholeSize(std::int64_t describedTotal, std::int64_t serverSize)
{
    if (describedTotal >= 0 && serverSize >= 0 && describedTotal != serverSize)
        return -1;
    return serverSize >= 0 ? serverSize : describedTotal;
}
} // namespace resumerules
