#pragma once

#include <string>
#include <unordered_map>

// Basic credentials ("Basic " and the encoded user:password) by the place they are for: a web
// site's scheme, host and port, or a proxy's host and port. Letter case of the place does not
// count. A credential is only ever looked up for the place it was stored for.
class TCredentials
{
  public:
    // The credential for place; empty when there is none.
    std::string For(const std::string& place) const;
    // Stores a credential for place, replacing the one it had.
    void Store(const std::string& place, std::string credential);
    bool Empty() const { return values.empty(); }
    std::size_t Count() const { return values.size(); }

  private:
    std::unordered_map<std::string, std::string> values;
};
