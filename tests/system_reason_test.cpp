// The system's reasons in Italian: the table itself, and the programs that
// give them whatever the locale says.
#include "host/system_reason.hpp"
#include "support/process.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

using tarntest::ProcessResult;

TEST(SystemReason, TheReasonsTheProgramsMeetAreInItalian) {
    const struct {
        int error;
        const char* reason;
    } cases[] = {
        {ENOENT, "file o cartella inesistente"},
        {EACCES, "permesso negato"},
        {EPERM, "operazione non permessa"},
        {EISDIR, "è una cartella"},
        {ENOTDIR, "un elemento del percorso non è una cartella"},
        {ENOSPC, "spazio esaurito sul dispositivo"},
        {EDQUOT, "quota del disco superata"},
        {EFBIG, "file troppo grande"},
        {EPIPE, "pipe interrotta: chi leggeva l'ha chiusa"},
        {EIO, "errore di ingresso/uscita"},
        {EROFS, "file system in sola lettura"},
        {ELOOP, "troppi livelli di collegamenti simbolici"},
        {ENAMETOOLONG, "nome di file troppo lungo"},
        {EMFILE, "troppi file aperti"},
        {ENFILE, "troppi file aperti nel sistema"},
        {ENOMEM, "memoria esaurita"},
        {EBADF, "descrittore di file non valido"},
        {EAGAIN, "risorsa temporaneamente non disponibile"},
        {EWOULDBLOCK, "risorsa temporaneamente non disponibile"},
        {EINTR, "chiamata di sistema interrotta"},
        {EINVAL, "argomento non valido"},
        {EEXIST, "il file esiste già"},
        {EXDEV, "file su file system diversi"},
        {EBUSY, "dispositivo o risorsa occupati"},
        {ETXTBSY, "file eseguibile in uso"},
        {ENXIO, "dispositivo o indirizzo inesistente"},
        {ENODEV, "dispositivo inesistente"},
        {ENOTTY, "non è un terminale"},
        {ECONNRESET, "connessione chiusa dall'altro capo"},
        {EOPNOTSUPP, "operazione non supportata"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.reason, tarn::systemReason(c.error)) << std::strerror(c.error);
}

TEST(SystemReason, AnyOtherValueIsAGenericReasonWithItsNumber) {
    for (const int error : {0, -1, 4095, 123456})
        EXPECT_EQ("errore di sistema " + std::to_string(error), tarn::systemReason(error));
}

// Under any locale, generated or not, the reason is the same.
TEST(SystemReason, TheProgramsGiveItWhateverTheLocale) {
    const std::vector<std::string> environments[] = {
        {"LANG=C", "LC_ALL=C"},
        {"LC_ALL=C.UTF-8"},
        {"LANG=en_US.UTF-8", "LANGUAGE=en"},
        {"LC_ALL=it_IT.UTF-8", "LANGUAGE=it"},
        {"LC_ALL=de_DE.UTF-8", "LC_MESSAGES=de_DE.UTF-8"},
    };
    const std::string missing = "/nonexistent/cartella/prog";
    for (const std::vector<std::string>& environment : environments) {
        std::vector<std::string> command = {"/usr/bin/env", "-i"};
        command.insert(command.end(), environment.begin(), environment.end());
        command.push_back(TARNASM_BINARY);
        command.push_back(missing + ".asm");
        ProcessResult result = tarntest::runProcess(command);
        EXPECT_EQ("tarnasm: impossibile leggere il sorgente '" + missing + ".asm': file o cartella inesistente\n",
                  result.err)
            << environment[0];
        EXPECT_EQ(2, result.exitStatus);

        command.end()[-2] = TARNDIS_BINARY;
        command.back() = missing + ".bin";
        result = tarntest::runProcess(command);
        EXPECT_EQ("tarndis: impossibile leggere l'immagine '" + missing + ".bin': file o cartella inesistente\n",
                  result.err)
            << environment[0];
        EXPECT_EQ(2, result.exitStatus);
    }
}
