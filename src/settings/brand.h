#pragma once

#include <QString>

// The two brands the program ships as. The executable's title picks one: "quorinview"
// (any case) is the client brand, every other title the default brand. The broker
// settings fall back to the chosen brand's built-in broker.
namespace brand {

inline constexpr char16_t ClientTitle[] = u"QUORINVIEW";

inline constexpr char16_t DefaultHost[] = u"mqtt.meltrix.cloud";
inline constexpr char16_t DefaultUser[] = u"meltrix";
inline constexpr char16_t DefaultPassword[] = u"Tq4Wm8RbXs2Kd7YhNf3Vc9GzLp6Je5Ua1HoSiBrE";

inline constexpr char16_t ClientHost[] = u"mqtt.quorinview.cloud";
inline constexpr char16_t ClientUser[] = u"quorinbrelk";
inline constexpr char16_t ClientPassword[] = u"%uPwo9K#mbad";

struct TBrokerDefaults {
    QString Host;
    QString User;
    QString Password;
};

// Both decide by app_paths::Title().
bool IsClientBrand();
TBrokerDefaults BrokerDefaults();

}  // namespace brand
