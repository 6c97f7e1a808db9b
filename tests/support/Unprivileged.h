#pragma once

// Some behaviour shows only to a user that file permissions bind, which root is not. Call at the start of
// such a test: as root it runs the same test again in a child process that has dropped to an unprivileged
// user (through setpriv), reports the child's outcome and returns true, and the caller returns at once.
// As any other user it returns false and the test goes on in this process.
bool rerunAsUnprivilegedUser();

// The user that rerun runs as: the account of last resort that every Debian system has.
inline constexpr int kUnprivilegedUserId = 65534;

#define MONDREL_RUN_UNPRIVILEGED()                                                                           \
    do {                                                                                                     \
        if (rerunAsUnprivilegedUser())                                                                       \
            return;                                                                                          \
    } while (false)
