// The exercise several of tarngrade's tests grade: a visible case that
// expects a greeting, and a hidden echo worth 2 points whose words appear
// nowhere else; and the program that greets, which passes only the first.
#pragma once

namespace tarntest {

inline const char* const GREETING_EXERCISE =
    "titolo = \"Saluto\"\n"
    "limite_istruzioni = 1000\n"
    "\n[[caso]]\nnome = \"ciao\"\nuscita = \"ciao\\n\"\n"
    "\n[[caso]]\nnome = \"eco\"\ningresso = \"SEGRETO\"\nuscita = \"SEGRETO\\n\"\npunti = 2\nnascosto = true\n";

inline const char* const GREETING = "        WRT testo\n        RST\ntesto:  DB \"ciao\", 10, 0\n";

}  // namespace tarntest
