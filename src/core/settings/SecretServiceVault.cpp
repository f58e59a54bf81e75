// The Secret Service through libsecret. Kept to this file so glib stays out of everything else.
#include "core/settings/PasswordVault.h"

#include <libsecret/secret.h>

namespace kestrava::settings {
namespace {

const SecretSchema* driveSchema()
{
    static const SecretSchema schema = {
        "com.harbrook.kestrava.DrivePassword",
        SECRET_SCHEMA_NONE,
        {{"folder", SECRET_SCHEMA_ATTRIBUTE_STRING}, {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
        0,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr};
    return &schema;
}

std::string takeError(GError*& error)
{
    std::string text = error != nullptr && error->message != nullptr ? error->message : "unknown error";
    g_clear_error(&error);
    return text;
}

class SecretServiceVault : public PasswordVault
{
public:
    std::optional<std::string> unavailableReason() override
    {
        GError* error = nullptr;
        SecretService* service = secret_service_get_sync(SECRET_SERVICE_NONE, nullptr, &error);
        if (service == nullptr) {
            return "no Secret Service on the session bus (" + takeError(error) + ")";
        }
        g_object_unref(service);
        return std::nullopt;
    }

    bool store(std::string_view folder, std::string_view protectedPassword) override
    {
        const std::string key(folder);
        const std::string value(protectedPassword);
        const std::string label = "Kestrava drive " + key;
        GError* error = nullptr;
        const gboolean stored =
            secret_password_store_sync(driveSchema(), SECRET_COLLECTION_DEFAULT, label.c_str(), value.c_str(),
                                       nullptr, &error, "folder", key.c_str(), nullptr);
        g_clear_error(&error);
        return stored != FALSE;
    }

    std::optional<std::string> lookup(std::string_view folder) override
    {
        const std::string key(folder);
        GError* error = nullptr;
        gchar* found =
            secret_password_lookup_sync(driveSchema(), nullptr, &error, "folder", key.c_str(), nullptr);
        g_clear_error(&error);
        if (found == nullptr) {
            return std::nullopt;
        }
        std::string value(found);
        secret_password_free(found);
        return value;
    }

    bool remove(std::string_view folder) override
    {
        const std::string key(folder);
        GError* error = nullptr;
        secret_password_clear_sync(driveSchema(), nullptr, &error, "folder", key.c_str(), nullptr);
        const bool failed = error != nullptr;
        g_clear_error(&error);
        return !failed;
    }
};

} // namespace

std::shared_ptr<PasswordVault> makeSecretServiceVault()
{
    return std::make_shared<SecretServiceVault>();
}

} // namespace kestrava::settings
