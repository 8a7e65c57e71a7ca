#!/bin/sh
# Checks that static libraries call nothing of the operating system: every
# symbol they leave undefined is either one of the C library's pure functions
# (memory, strings, formatting, mathematics), the C++ runtime's own (the
# exception ABI, guards, the mutex under std::mutex), a sanitizer's hook, or
# a C++ symbol outside the standard library's files, streams, clocks and
# devices. Prints each symbol that is none of these with its library, and
# fails.
#   portable_symbols.sh LIBRARY.a...
status=0
allowed_c='^(mem(chr|cmp|cpy|move|set)|str(len|n?cmp|r?chr|to[dfl]|toul|toll|toull)|__popcount[sdt]i2|__cxa_[a-z_]+|_Unwind_[A-Za-z_]+|__gxx_personality_v0|__dso_handle|__libc_single_threaded|__stack_chk_(fail|guard)|__assert_fail|v?snprintf|__v?snprintf_chk|__mem(cpy|move|set)_chk|localeconv|l?l?round|floor|ceil|fmod|pow|sqrt|log|log10|exp|frexp|ldexp|nan|pthread_mutex_(lock|unlock)|__tls_get_addr|_GLOBAL_OFFSET_TABLE_|__(asan|ubsan|sanitizer|sancov|lsan)_[A-Za-z0-9_]+)$'
denied_cxx='std::(__cxx11::)?(basic_[io]?fstream|basic_filebuf|cin|cout|cerr|clog|wcin|wcout|wcerr|random_device|filesystem)|std::filesystem|std::chrono::_V2::(system|steady)_clock|std::this_thread|getenv'
for library; do
    [ -f "$library" ] || { echo "$library: non esiste"; exit 2; }
    symbols=$(nm -u "$library" 2>/dev/null | awk '$1 == "U" || $1 == "w" { print $2 }' | sort -u) || exit 2
    for symbol in $symbols; do
        case $symbol in
        _Z*)
            readable=$(printf '%s\n' "$symbol" | c++filt)
            if printf '%s\n' "$readable" | grep -Eq "$denied_cxx"; then
                echo "${library##*/}: $readable"
                status=1
            fi
            ;;
        *)
            if ! printf '%s\n' "$symbol" | grep -Eq "$allowed_c"; then
                echo "${library##*/}: $symbol"
                status=1
            fi
            ;;
        esac
    done
done
exit $status
