#include "util/hex_ids.h"

#include <QCryptographicHash>
#include <QUuid>

namespace hex_ids {

QString Sha1(const QString& text) {
    return QString::fromLatin1(QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha1).toHex());
}

QString NewGuid() { return QUuid::createUuid().toString(QUuid::Id128).toUpper(); }

}  // namespace hex_ids
