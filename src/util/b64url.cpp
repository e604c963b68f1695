#include "util/b64url.h"

#include <QByteArray>

QString TB64URL::encode(const QString& text) {
    return QString::fromLatin1(text.toUtf8().toBase64(QByteArray::Base64UrlEncoding |
                                                      QByteArray::OmitTrailingEquals));
}
