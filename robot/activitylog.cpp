#include "robot/activitylog.h"

#include <cstdio>

#include "robot/outputnaming.h"

void AppendLogLine(const std::string& line)
{
    const std::string fileName = MakeFileName(FixedLog);
    if (std::FILE* file = std::fopen(fileName.c_str(), "ab"))
    {
        const std::string text = line + "\r\n";
        std::fwrite(text.data(), 1, text.size(), file);
        std::fclose(file);
    }
}
