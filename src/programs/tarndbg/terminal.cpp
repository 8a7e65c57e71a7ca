#include "programs/tarndbg/terminal.hpp"

#include "host/descriptors.hpp"
#include "host/system_reason.hpp"
#include "text/utf8.hpp"

#include <curses.h>
#include <term.h>

#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <langinfo.h>
#include <termios.h>
#include <unistd.h>

namespace tarn::dbg {

namespace {

// Everything the handlers use is captured before they are installed and
// never changes while they may run.
struct termios savedSettings {};
volatile std::sig_atomic_t haveSettings = 0;
volatile std::sig_atomic_t cursesRunning = 0;
SCREEN* screen = nullptr;

// The escapes that leave the full-screen mode, in the order they are sent:
// attributes off, cursor visible, keypad off, main screen back.
constexpr std::size_t ESCAPE_SIZE = 256;
char escapes[4][ESCAPE_SIZE];
std::size_t escapeLengths[4];

// The signals that end the program, which the terminal must survive.
constexpr int ENDING_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
constexpr int CRASH_SIGNALS[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
bool ignoredAtStart[sizeof ENDING_SIGNALS / sizeof ENDING_SIGNALS[0]];

// A terminfo string without its padding ("$<5>"), which only ncurses
// itself knows how to send.
void capture(std::size_t index, const char* name) {
    escapeLengths[index] = 0;
    char* value = tigetstr(name);
    if (value == nullptr || value == reinterpret_cast<char*>(-1)) return;
    std::size_t length = 0;
    for (const char* c = value; *c != '\0' && length + 1 < ESCAPE_SIZE; ++c) {
        if (c[0] == '$' && c[1] == '<') {
            const char* end = std::strchr(c, '>');
            if (end != nullptr) {
                c = end;
                continue;
            }
        }
        escapes[index][length++] = *c;
    }
    escapeLengths[index] = length;
}

extern "C" void restoreAndEnd(int signal) {
    emergencyRestore();
    endBySignal(signal);
}

[[noreturn]] void restoreAndAbort() {
    emergencyRestore();
    std::abort();
}

void installHandlers() {
    struct sigaction handler {};
    handler.sa_handler = restoreAndEnd;
    sigemptyset(&handler.sa_mask);
    for (int signal : ENDING_SIGNALS) sigaddset(&handler.sa_mask, signal);
    for (int signal : CRASH_SIGNALS) sigaddset(&handler.sa_mask, signal);
    std::size_t index = 0;
    for (int signal : ENDING_SIGNALS) {
        if (!ignoredAtStart[index++]) ::sigaction(signal, &handler, nullptr);
    }
    for (int signal : CRASH_SIGNALS) ::sigaction(signal, &handler, nullptr);
    std::set_terminate(restoreAndAbort);
}

}  // namespace

void emergencyRestore() noexcept {
    if (cursesRunning != 0) {
        for (std::size_t i = 0; i < 4; ++i) writeAll(STDOUT_FILENO, {escapes[i], escapeLengths[i]});
    }
    if (haveSettings != 0) {
        // From outside the foreground group, tcsetattr would stop the
        // program with SIGTTOU instead of letting it end: held back here.
        sigset_t ttou;
        sigset_t before;
        sigemptyset(&ttou);
        sigaddset(&ttou, SIGTTOU);
        ::sigprocmask(SIG_BLOCK, &ttou, &before);
        ::tcsetattr(STDIN_FILENO, TCSANOW, &savedSettings);
        ::sigprocmask(SIG_SETMASK, &before, nullptr);
    }
}

bool checkTerminal(std::string& error) {
    if (::isatty(STDIN_FILENO) == 0 || ::isatty(STDOUT_FILENO) == 0) {
        error = "tarndbg: serve un terminale: lo standard input e lo standard output devono essere un terminale";
        return false;
    }
    const char* term = std::getenv("TERM");
    if (term == nullptr || term[0] == '\0') {
        error = "tarndbg: il tipo del terminale non è noto: la variabile TERM è vuota o non è impostata";
        return false;
    }
    const std::string unusable = "tarndbg: il terminale '" + visibleName(term) + "' non è utilizzabile: ";
    int status = 0;
    if (setupterm(term, STDOUT_FILENO, &status) != OK) {
        error = unusable + (status == -1 ? "manca il database terminfo che descrive i terminali"
                                         : "il database terminfo non lo conosce, o lo descrive troppo poco");
        return false;
    }
    // "dumb", a printing terminal, a generic type: nothing that can draw a
    // screen, which needs the cursor placed anywhere and the screen cleared.
    const auto has = [](const char* name) {
        const char* value = tigetstr(name);
        return value != nullptr && value != reinterpret_cast<char*>(-1) && value[0] != '\0';
    };
    const bool placesCursor = tigetflag("hc") <= 0 && tigetflag("gn") <= 0 && has("cup");
    const bool clears = has("clear");
    del_curterm(cur_term);
    if (!placesCursor || !clears) {
        error = unusable + (!placesCursor && !clears ? "non sa spostare il cursore né cancellare lo schermo"
                            : !placesCursor          ? "non sa spostare il cursore in un punto qualsiasi"
                                                     : "non sa cancellare lo schermo") +
                ", e tarndbg occupa tutto lo schermo";
        return false;
    }
    return true;
}

bool utf8Locale() {
    const char* codeset = nl_langinfo(CODESET);
    return codeset != nullptr && (std::strcmp(codeset, "UTF-8") == 0 || std::strcmp(codeset, "utf8") == 0);
}

bool startTerminal(std::string& error) {
    if (::tcgetattr(STDIN_FILENO, &savedSettings) != 0) {
        error = "tarndbg: impossibile leggere le impostazioni del terminale: " + tarn::systemReason(errno);
        return false;
    }
    haveSettings = 1;
    // Under nohup, say, the user wants these ignored: so they stay.
    std::size_t index = 0;
    for (int signal : ENDING_SIGNALS) {
        struct sigaction previous {};
        ::sigaction(signal, nullptr, &previous);
        ignoredAtStart[index++] = previous.sa_handler == SIG_IGN;
    }

    // The size comes from the terminal, at the start and after each resize:
    // LINES and COLUMNS, which a shell may export, would hold it fixed.
    // (use_env(FALSE) would keep them out too, but then ncurses reads the
    // size of a resize from terminfo, not from the terminal.)
    ::unsetenv("LINES");
    ::unsetenv("COLUMNS");
    screen = newterm(nullptr, stdout, stdin);
    if (screen == nullptr) {
        const char* term = std::getenv("TERM");
        error = "tarndbg: il terminale '" + visibleName(term != nullptr ? term : "") + "' non è utilizzabile";
        ::tcsetattr(STDIN_FILENO, TCSANOW, &savedSettings);
        return false;
    }
    set_term(screen);
    capture(0, "sgr0");
    capture(1, "cnorm");
    capture(2, "rmkx");
    capture(3, "rmcup");
    cursesRunning = 1;
    installHandlers();

    raw();
    noecho();
    nonl();
    keypad(stdscr, TRUE);
    set_escdelay(50);
    if (has_colors()) start_color();
    return true;
}

void stopTerminal() {
    if (cursesRunning == 0) return;
    endwin();
    cursesRunning = 0;
    if (haveSettings != 0) ::tcsetattr(STDIN_FILENO, TCSANOW, &savedSettings);
    delscreen(screen);
    screen = nullptr;
}

void suspendTerminal() {
    if (cursesRunning == 0) return;
    def_prog_mode();
    endwin();
    ::tcsetattr(STDIN_FILENO, TCSANOW, &savedSettings);
    // The default action stops the program; ncurses' own handler is put
    // back when the shell resumes it.
    struct sigaction byDefault {};
    struct sigaction previous {};
    byDefault.sa_handler = SIG_DFL;
    sigemptyset(&byDefault.sa_mask);
    ::sigaction(SIGTSTP, &byDefault, &previous);
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTSTP);
    sigset_t before;
    ::sigprocmask(SIG_UNBLOCK, &stop, &before);
    ::raise(SIGTSTP);
    ::sigprocmask(SIG_SETMASK, &before, nullptr);
    ::sigaction(SIGTSTP, &previous, nullptr);
    reset_prog_mode();
    clearok(curscr, TRUE);
    refresh();
}

}  // namespace tarn::dbg
