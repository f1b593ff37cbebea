#pragma once

#include <string>

// A fresh folder under the system's temporary directory, removed with everything in it
// when the object goes.
class TempDir
{
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // The folder's path, ending with "/".
    const std::string& Path() const { return path; }
    // Writes a file below the folder (creating folders on the way) and returns its path.
    std::string Write(const std::string& relative, const std::string& bytes) const;
    // The content of a file below the folder; empty when missing.
    std::string Read(const std::string& relative) const;
    bool Exists(const std::string& relative) const;

  private:
    std::string path;
};
