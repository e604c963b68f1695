#include "settings/brand.h"

#include "util/app_paths.h"

namespace brand {

bool IsClientBrand() { return app_paths::Title().toUpper() == QStringView(ClientTitle); }

TBrokerDefaults BrokerDefaults() {
    if (IsClientBrand())
        return {QString::fromUtf16(ClientHost), QString::fromUtf16(ClientUser),
                QString::fromUtf16(ClientPassword)};
    return {QString::fromUtf16(DefaultHost), QString::fromUtf16(DefaultUser),
            QString::fromUtf16(DefaultPassword)};
}

}  // namespace brand
