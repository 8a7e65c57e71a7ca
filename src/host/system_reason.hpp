// The reason of a failed system call, in Italian whatever the locale: the C
// library gives its messages in the user's language only where that locale
// has been generated, and most machines lack the Italian one.
#pragma once

#include <string>

namespace tarn {

// The reason for an errno value, lower case, to follow "...: " in a message
// ("file o cartella inesistente"); a value these programs do not expect is
// "errore di sistema N".
std::string systemReason(int error);

}  // namespace tarn
