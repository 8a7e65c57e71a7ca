#include "host/system_reason.hpp"

#include <cerrno>

namespace tarn {

namespace {

struct Reason {
    int error;
    const char* text;
};

// The reasons that opening, reading and writing files, standard streams,
// pipes and terminals can meet. (EWOULDBLOCK and EOPNOTSUPP are EAGAIN and
// ENOTSUP on some systems: the first entry that matches is taken.)
constexpr Reason REASONS[] = {
    {EPERM, "operazione non permessa"},
    {ENOENT, "file o cartella inesistente"},
    {EINTR, "chiamata di sistema interrotta"},
    {EIO, "errore di ingresso/uscita"},
    {ENXIO, "dispositivo o indirizzo inesistente"},
    {EBADF, "descrittore di file non valido"},
    {EAGAIN, "risorsa temporaneamente non disponibile"},
    {EWOULDBLOCK, "risorsa temporaneamente non disponibile"},
    {ENOMEM, "memoria esaurita"},
    {EACCES, "permesso negato"},
    {EBUSY, "dispositivo o risorsa occupati"},
    {EEXIST, "il file esiste già"},
    {EXDEV, "file su file system diversi"},
    {ENODEV, "dispositivo inesistente"},
    {ENOTDIR, "un elemento del percorso non è una cartella"},
    {EISDIR, "è una cartella"},
    {EINVAL, "argomento non valido"},
    {ENFILE, "troppi file aperti nel sistema"},
    {EMFILE, "troppi file aperti"},
    {ENOTTY, "non è un terminale"},
    {ETXTBSY, "file eseguibile in uso"},
    {EFBIG, "file troppo grande"},
    {ENOSPC, "spazio esaurito sul dispositivo"},
    {ESPIPE, "posizionamento non consentito"},
    {EROFS, "file system in sola lettura"},
    {EMLINK, "troppi collegamenti"},
    {EPIPE, "pipe interrotta: chi leggeva l'ha chiusa"},
    {ENAMETOOLONG, "nome di file troppo lungo"},
    {ENOSYS, "funzione non disponibile"},
    {ELOOP, "troppi livelli di collegamenti simbolici"},
    {EOVERFLOW, "valore troppo grande per il tipo di dato"},
    {ENOTSUP, "operazione non supportata"},
    {EOPNOTSUPP, "operazione non supportata"},
    {ECONNRESET, "connessione chiusa dall'altro capo"},
    {ENOTCONN, "non connesso"},
    {ETIMEDOUT, "tempo scaduto"},
// Network file systems' own, which Windows' C library does not name.
#ifdef ESTALE
    {ESTALE, "riferimento a un file non più valido"},
#endif
#ifdef EDQUOT
    {EDQUOT, "quota del disco superata"},
#endif
    {ECANCELED, "operazione annullata"},
};

}  // namespace

std::string systemReason(int error) {
    for (const Reason& reason : REASONS)
        if (reason.error == error) return reason.text;
    return "errore di sistema " + std::to_string(error);
}

}  // namespace tarn
