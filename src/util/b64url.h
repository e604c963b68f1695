#pragma once

#include <QString>

// Base64url (RFC 4648 section 5) of a text's UTF-8 bytes, without padding: a name that
// is safe in file names and URLs.
class TB64URL {
public:
    static QString encode(const QString& text);
};
