#pragma once

#include <exception>

// Why the account manager could not do what it was asked.
class QuintorAccountError : public std::exception {
public:
    enum class Kind {
        // The secret store did not answer.
        keychainUnavailable,
        // The stored item is not a session this program can read; it is left as it is.
        malformedSession,
        // The session's token has to be refreshed, which needs the identity server.
        refreshUnavailable,
    };

    explicit QuintorAccountError(Kind kind) : kind_(kind) {}
    Kind kind() const { return kind_; }

    const char* what() const noexcept override {
        switch (kind_) {
        case Kind::keychainUnavailable:
            return "the secret store is not available";
        case Kind::malformedSession:
            return "the stored session cannot be read";
        case Kind::refreshUnavailable:
            return "the session token cannot be refreshed in this build";
        }
        return "account error";
    }

private:
    Kind kind_;
};
