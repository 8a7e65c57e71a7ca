#include "support/program_bytes.hpp"

namespace tarntest {

std::string traceDisplay(int pc, const std::string& flags, const std::string& mnemonic, int a, int b, int x) {
    return "\n----------------------------- Virtual Processor State ------------------------\n"
           "PROSSIMA ISTRUZIONE         = " + std::to_string(pc) + "\n"
           "REGISTRO DEI FLAGS          = " + flags + "\n"
           "ISTRUZIONE DA ESEGUIRE      = " + mnemonic + "\n"
           "OPERANDO A                  = " + std::to_string(a) + "\n"
           "OPERANDO B                  = " + std::to_string(b) + "\n"
           "REGISTRO DI SPIAZZAMENTO    = " + std::to_string(x) + "\n" +
           std::string(78, '-') + "\n\n";
}

std::string bytes(std::initializer_list<int> values) {
    std::string result;
    for (int value : values) result.push_back(static_cast<char>(value));
    return result;
}

}  // namespace tarntest
