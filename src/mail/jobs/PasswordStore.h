#pragma once

#include <QString>
#include <functional>

namespace murmelo {

// Where secrets are kept: the desktop keyring. Every call answers later, on the main thread;
// an empty error means it worked.
class PasswordStore {
public:
    using Read = std::function<void(const QString &password, const QString &error)>;
    using Done = std::function<void(const QString &error)>;

    virtual ~PasswordStore() = default;
    // A missing entry reads as an empty password without an error.
    virtual void read(const QString &key, Read done) = 0;
    virtual void write(const QString &key, const QString &password, Done done) = 0;
    // Removing a missing entry is not an error.
    virtual void remove(const QString &key, Done done) = 0;
};

// The Secret Service keyring of the desktop session (GNOME Keyring, KWallet), through
// QtKeychain. Nothing ever falls back to a plain file.
class KeychainPasswordStore : public PasswordStore {
public:
    static constexpr char kService[] = "org.murmelo.Murmelo";

    void read(const QString &key, Read done) override;
    void write(const QString &key, const QString &password, Done done) override;
    void remove(const QString &key, Done done) override;

    static KeychainPasswordStore &shared();
};

} // namespace murmelo
