#include "host/windows_system.hpp"

#include "host/system_reason.hpp"

#include <cerrno>
#include <climits>
#include <windows.h>

namespace tarn::windows {

std::wstring widened(std::string_view text) {
    // A 0 byte would end the name early: another file's.
    if (text.empty() || text.size() > INT_MAX || text.find('\0') != std::string_view::npos) return {};
    const int size = static_cast<int>(text.size());
    const int length = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
    if (length <= 0) return {};
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, wide.data(), length);
    return wide;
}

std::string narrowed(std::wstring_view text) {
    if (text.empty() || text.size() > INT_MAX) return {};
    const int size = static_cast<int>(text.size());
    const int length = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    if (length <= 0) return {};
    std::string narrow(static_cast<std::size_t>(length), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, narrow.data(), length, nullptr, nullptr);
    return narrow;
}

namespace {

struct Reason {
    unsigned long error;
    const char* text;
};

// The errors that opening, reading, writing and replacing files can meet,
// with the system's own words where errno has none.
constexpr Reason REASONS[] = {
    {ERROR_SHARING_VIOLATION, "il file è in uso da un altro programma"},
    {ERROR_LOCK_VIOLATION, "il file è bloccato da un altro programma"},
    {ERROR_INVALID_NAME, "nome di file non valido"},
    {ERROR_BAD_PATHNAME, "nome di file non valido"},
    {ERROR_DIRECTORY, "il nome di cartella non è valido"},
    {ERROR_NOT_READY, "il dispositivo non è pronto"},
    {ERROR_WRITE_PROTECT, "il disco è protetto da scrittura"},
    {ERROR_CANT_RESOLVE_FILENAME, "troppi livelli di collegamenti simbolici"},
};

struct ErrnoOf {
    unsigned long error;
    int number;
};

// The rest, as the errno value whose reason says the same.
constexpr ErrnoOf ERRNOS[] = {
    {ERROR_FILE_NOT_FOUND, ENOENT},     {ERROR_PATH_NOT_FOUND, ENOENT},    {ERROR_INVALID_DRIVE, ENOENT},
    {ERROR_ACCESS_DENIED, EACCES},      {ERROR_INVALID_HANDLE, EBADF},     {ERROR_NOT_ENOUGH_MEMORY, ENOMEM},
    {ERROR_OUTOFMEMORY, ENOMEM},        {ERROR_TOO_MANY_OPEN_FILES, EMFILE}, {ERROR_FILE_EXISTS, EEXIST},
    {ERROR_ALREADY_EXISTS, EEXIST},     {ERROR_DISK_FULL, ENOSPC},         {ERROR_HANDLE_DISK_FULL, ENOSPC},
    {ERROR_FILENAME_EXCED_RANGE, ENAMETOOLONG}, {ERROR_NOT_SAME_DEVICE, EXDEV}, {ERROR_BROKEN_PIPE, EPIPE},
    {ERROR_NO_DATA, EPIPE},             {ERROR_INVALID_PARAMETER, EINVAL}, {ERROR_NOT_SUPPORTED, ENOTSUP},
    {ERROR_CURRENT_DIRECTORY, EACCES},  {ERROR_DIR_NOT_EMPTY, EEXIST},     {ERROR_OPERATION_ABORTED, ECANCELED},
};

}  // namespace

std::string errorReason(unsigned long error) {
    for (const Reason& reason : REASONS)
        if (reason.error == error) return reason.text;
    for (const ErrnoOf& known : ERRNOS)
        if (known.error == error) return systemReason(known.number);
    return "errore di sistema " + std::to_string(error);
}

std::string lastErrorReason() {
    return errorReason(::GetLastError());
}

std::string pathReason(std::string_view path, unsigned long error) {
    if (path.find_first_of("*?") != std::string_view::npos) return "nessun file corrisponde a questo modello";
    return errorReason(error);
}

}  // namespace tarn::windows
