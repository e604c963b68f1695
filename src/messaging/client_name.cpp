#include "messaging/client_name.h"

#include <mutex>

namespace client_name {

namespace {

std::mutex& Guard() {
    static std::mutex guard;
    return guard;
}

QString& Value() {
    static QString value;
    return value;
}

}  // namespace

QString Current() {
    std::lock_guard lock(Guard());
    return Value();
}

void Set(const QString& name) {
    std::lock_guard lock(Guard());
    Value() = name;
}

}  // namespace client_name
