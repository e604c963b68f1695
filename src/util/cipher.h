#pragma once

#include <QString>

// The fixed substitution cipher of the maker's socket protocol, the framing of
// enciphered lines and the daily handshake token.
namespace cipher {

// Begins every enciphered line.
inline constexpr char16_t Marker[] = u"Brelk";

// The company identifier the handshake token is derived from.
inline constexpr char16_t CompanyIdentifier[] = u"27.418.593/0001-64";

// Throw MeltrixError naming the first character outside the source alphabet.
QString Encriptar(const QString& text);
QString Decriptar(const QString& text);

// "Brelk" + local clock with a final Z + "|" + enciphered text; the caller adds the line end.
QString EncriptarLinha(const QString& text);

// A received block: returned unchanged unless it begins with the marker, otherwise one
// "timestamp|plain text" line (CR LF) per enciphered line.
QString DecriptarTexto(const QString& block);

// MD5 of the text's characters as single bytes, 32 upper-case hexadecimal digits.
QString MD5Hex(const QString& text);

// MD5Hex of the identifier's digits, the local day of the year and the four-digit year.
QString TokenDoDia(const QString& companyIdentifier = QString::fromUtf16(CompanyIdentifier));

}  // namespace cipher
