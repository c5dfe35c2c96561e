#include "shared/storage/Keychain.h"

#include "shared/Log.h"

#include <libsecret/secret.h>

namespace quelmo::shared {
namespace {

// Items keyed by account and service, the way generic passwords are.
const SecretSchema& passwordSchema() {
    static const SecretSchema schema = {"org.quelmo.shared.GenericPassword",
                                        SECRET_SCHEMA_NONE,
                                        {{"account", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                         {"service", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                         {nullptr, {}}},
                                        0,
                                        nullptr,
                                        nullptr,
                                        nullptr,
                                        nullptr,
                                        nullptr,
                                        nullptr,
                                        nullptr};
    return schema;
}

// Logs a failed call with the service's own words and frees the error; false when there was one.
bool reportError(GError* error, const char* what) {
    if (!error) {
        return true;
    }
    logLine(QStringLiteral("⚠️ Keychain: %1 failed: %2")
                .arg(QLatin1String(what), QString::fromUtf8(error->message)));
    g_error_free(error);
    return false;
}

} // namespace

Keychain::Keychain(QString collection) : collection_(std::move(collection)) {
}

bool Keychain::save(const QString& value, const QString& account, const QString& service) const {
    const QByteArray collection = collection_.toUtf8();
    const QByteArray label = QStringLiteral("%1 (%2)").arg(service, account).toUtf8();
    const QByteArray secret = value.toUtf8();
    const QByteArray accountBytes = account.toUtf8();
    const QByteArray serviceBytes = service.toUtf8();
    GError* error = nullptr;
    const gboolean stored = secret_password_store_sync(
        &passwordSchema(), collection_.isEmpty() ? SECRET_COLLECTION_DEFAULT : collection.constData(),
        label.constData(), secret.constData(), nullptr, &error, "account", accountBytes.constData(),
        "service", serviceBytes.constData(), nullptr);
    return reportError(error, "saving a secret") && stored;
}

std::optional<QString> Keychain::read(const QString& account, const QString& service) const {
    const QByteArray accountBytes = account.toUtf8();
    const QByteArray serviceBytes = service.toUtf8();
    GError* error = nullptr;
    gchar* secret =
        secret_password_lookup_sync(&passwordSchema(), nullptr, &error, "account", accountBytes.constData(),
                                    "service", serviceBytes.constData(), nullptr);
    if (!reportError(error, "reading a secret") || !secret) {
        return std::nullopt;
    }
    QString value = QString::fromUtf8(secret);
    secret_password_free(secret);
    return value;
}

bool Keychain::remove(const QString& account, const QString& service) const {
    const QByteArray accountBytes = account.toUtf8();
    const QByteArray serviceBytes = service.toUtf8();
    GError* error = nullptr;
    const gboolean removed =
        secret_password_clear_sync(&passwordSchema(), nullptr, &error, "account", accountBytes.constData(),
                                   "service", serviceBytes.constData(), nullptr);
    return reportError(error, "deleting a secret") && removed;
}

int Keychain::itemCount(const QString& account, const QString& service) {
    GError* error = nullptr;
    const QByteArray accountBytes = account.toUtf8();
    const QByteArray serviceBytes = service.toUtf8();
    GList* items = secret_password_search_sync(&passwordSchema(), SECRET_SEARCH_ALL, nullptr, &error, "account",
                                               accountBytes.constData(), "service", serviceBytes.constData(), nullptr);
    if (!reportError(error, "search")) {
        return -1;
    }
    const int count = static_cast<int>(g_list_length(items));
    g_list_free_full(items, g_object_unref);
    return count;
}

} // namespace quelmo::shared
