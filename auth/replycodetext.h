#pragma once

#include <string>

// The reply line of an HTTP code: "404:Not Found"; codes not in the table read "Unknown reply code".
std::string ReplyCodeText(int code);
