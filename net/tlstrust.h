#pragma once

#include <string>

#include <QByteArray>
#include <QList>

// What an https connection trusts: the system's certificate authorities and any added for
// intranet servers, with the host name checked; or, only when the user asked for it for one
// run, any certificate at all.
class TTlsTrust
{
  public:
    // Trusts the authorities of a PEM or DER file as well. Raises Exception when the file cannot
    // be read or holds no certificate, or when there is no TLS at all.
    void AddAuthorityFile(const std::string& fileName);
    // No certificate is checked: for one run, when the user said so.
    bool AcceptAnyCertificate = false;

    // The authorities added to the system's, each in DER.
    QList<QByteArray> AddedAuthorities() const;

  private:
    QList<QByteArray> added;
};
