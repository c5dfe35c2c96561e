#pragma once

#include <QString>

#include <optional>

namespace quelmo::shared {

// Secrets in the desktop's Secret Service (GNOME Keyring, KWallet...) through libsecret: one item
// per account and service, like a generic password. Calls block the calling thread until the
// service answers; failures are logged and reported as false or none.
class Keychain {
public:
    // collection: the D-Bus object path of the collection new items go to; empty for the user's
    // default collection.
    explicit Keychain(QString collection = {});

    // Stores value under (account, service). An existing item with the same account and service is
    // replaced in the same step, so a failed save leaves the old secret in place.
    bool save(const QString& value, const QString& account, const QString& service) const;
    // The secret stored under (account, service); none when there is none or the service fails.
    std::optional<QString> read(const QString& account, const QString& service) const;
    // Deletes the item; true when an item was deleted.
    bool remove(const QString& account, const QString& service) const;
    // How many items the service holds under (account, service), in any collection; -1 when the
    // service fails. One, after any number of saves.
    static int itemCount(const QString& account, const QString& service);

private:
    QString collection_;
};

} // namespace quelmo::shared
