#pragma once

// The one place SimpleIni is included. Debian builds the library with ICU conversion, so
// every translation unit must see the same converter choice before the header.
#define SI_CONVERT_ICU
#include <SimpleIni.h>
