#pragma once

#include <string_view>

// The part of the transfer unit an address goes to, told by its scheme; every place that needs to
// know asks here.
enum class TProtocol
{
    Http,
    Https,
    Ftp,
    // Any other scheme ("patent://", "mailto:"...): no transfer of its own.
    Other,
};

// An address without a scheme (a path alone) goes over HTTP.
TProtocol ProtocolOf(std::string_view address);
