// The Secret Service of the session bus, through libsecret. Every call runs the library's
// asynchronous form on a main context of its own, so that it neither needs nor disturbs the
// program's event loop, and is cancelled at its deadline. Nothing here unlocks a keyring or
// creates a collection: those would put a prompt before the user that brevon cannot bound.
#include <platform/Secrets.h>

#include <algorithm>
#include <memory>
#include <string>

#include <libsecret/secret.h>

#include <encoding/Cp1252.h>
#include <encoding/Utf8.h>

namespace platform {

namespace {

// Matched on the attributes alone, so that a renamed schema still finds what it stored.
const SecretSchema kSchema = {
    "brevon.Secret",
    SECRET_SCHEMA_DONT_MATCH_NAME,
    {
        {"application", SECRET_SCHEMA_ATTRIBUTE_STRING},
        {"kind", SECRET_SCHEMA_ATTRIBUTE_STRING},
        {"account", SECRET_SCHEMA_ATTRIBUTE_STRING},
        {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING},
    },
    0,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

constexpr const char* kApplication = "brevon";

std::string ToUtf8(std::string_view cp1252) {
    return encoding::Cp1252ToUtf8(cp1252, encoding::Undefined::AsControls);
}

// Empty when the text holds a character the code page has not.
std::optional<std::string> ToCp1252(std::string_view utf8) {
    std::string out;
    for (std::size_t i = 0; i < utf8.size();) {
        char32_t cp = 0;
        const std::size_t length = encoding::DecodeUtf8(utf8, i, cp);
        const int byte = length == 0 ? -1 : encoding::UnicodeToCp1252(cp);
        if (byte < 0) return std::nullopt;
        out += static_cast<char>(byte);
        i += length;
    }
    return out;
}

template <typename T> struct Unref {
    void operator()(T* object) const { g_object_unref(object); }
};
template <typename T> using Ref = std::unique_ptr<T, Unref<T>>;

struct ErrorFree {
    void operator()(GError* error) const { g_error_free(error); }
};
using Error = std::unique_ptr<GError, ErrorFree>;

struct HashFree {
    void operator()(GHashTable* table) const { g_hash_table_unref(table); }
};

// One asynchronous call's outcome; shared with its callback, which may come after the caller
// has given up waiting and gone.
struct Pending {
    GAsyncResult* result = nullptr;
    bool cancelled = false; // the deadline passed
    bool abandoned = false; // the deadline and the grace for cancelling passed
    ~Pending() {
        if (result) g_object_unref(result);
    }
};

void Ready(GObject*, GAsyncResult* result, gpointer data) {
    auto* pending = static_cast<std::shared_ptr<Pending>*>(data);
    (*pending)->result = G_ASYNC_RESULT(g_object_ref(result));
    delete pending;
}

// How long a call may take after it was cancelled, for its answer to come home.
constexpr guint kCancelGraceMs = 500;

class SessionKeyring final : public SecretStore {
public:
    explicit SessionKeyring(std::chrono::milliseconds timeout)
        : timeout_(timeout), context_(g_main_context_new()) {}
    ~SessionKeyring() override { g_main_context_unref(context_); }

    std::error_code Probe() override {
        std::string detail;
        Call call(*this);
        Ref<SecretServiceProxy> service = Open(call, detail);
        if (!service) return call.error;
        (void)DefaultCollection(call, service.get(), detail);
        return call.error;
    }

    SecretLookup Read(const SecretName& name) override {
        SecretLookup lookup;
        Call call(*this);
        Ref<SecretServiceProxy> service = Open(call, lookup.detail);
        if (!service) {
            lookup.error = call.error;
            return lookup;
        }
        GList* items = Search(call, service.get(), name, lookup.detail);
        lookup.error = call.error;
        bool locked = false;
        for (GList* at = items; at != nullptr && !lookup.error && !lookup.secret; at = at->next) {
            auto* item = static_cast<SecretItem*>(at->data);
            if (secret_item_get_locked(item)) {
                locked = true;
                continue;
            }
            SecretValue* value = secret_item_get_secret(item);
            if (value == nullptr) continue;
            gsize length = 0;
            const gchar* bytes = secret_value_get(value, &length);
            lookup.secret = ToCp1252(std::string_view(bytes, length));
            if (!lookup.secret) lookup.error = SecretsErrc::unusable_secret;
            secret_value_unref(value);
        }
        g_list_free_full(items, g_object_unref);
        if (!lookup.error && !lookup.secret && locked) lookup.error = SecretsErrc::locked;
        return lookup;
    }

    std::error_code Write(const SecretName& name, std::string_view secret) override {
        std::string detail;
        Call call(*this);
        Ref<SecretServiceProxy> service = Open(call, detail);
        if (!service) return call.error;
        // A locked collection would be unlocked through a prompt: answered as locked instead.
        if (!DefaultCollection(call, service.get(), detail)) return call.error;
        const std::string text = ToUtf8(secret);
        SecretValue* value = secret_value_new(text.c_str(), -1, "text/plain");
        const std::unique_ptr<GHashTable, HashFree> attributes(Attributes(name));
        const std::string label = "Brevon: " + ToUtf8(name.kind) + " " + ToUtf8(name.account);
        call.Run(
            [&](GCancellable* cancellable, GAsyncReadyCallback ready, gpointer data) {
                secret_service_store(service.get(), &kSchema, attributes.get(),
                                     SECRET_COLLECTION_DEFAULT, label.c_str(), value, cancellable,
                                     ready, data);
            },
            [&](GAsyncResult* result, GError** error) {
                return secret_service_store_finish(service.get(), result, error);
            },
            SecretsErrc::refused, detail);
        secret_value_unref(value);
        return call.error;
    }

    std::error_code Remove(const SecretName& name) override {
        std::string detail;
        Call call(*this);
        Ref<SecretServiceProxy> service = Open(call, detail);
        if (!service) return call.error;
        GList* items = Search(call, service.get(), name, detail);
        bool locked = false;
        for (GList* at = items; at != nullptr; at = at->next)
            locked = locked || secret_item_get_locked(static_cast<SecretItem*>(at->data));
        const bool any = items != nullptr;
        g_list_free_full(items, g_object_unref);
        if (call.error || !any) return call.error;
        if (locked) return SecretsErrc::locked;
        const std::unique_ptr<GHashTable, HashFree> attributes(Attributes(name));
        call.Run(
            [&](GCancellable* cancellable, GAsyncReadyCallback ready, gpointer data) {
                secret_service_clear(service.get(), &kSchema, attributes.get(), cancellable, ready,
                                     data);
            },
            [&](GAsyncResult* result, GError** error) {
                return secret_service_clear_finish(service.get(), result, error);
            },
            SecretsErrc::refused, detail);
        return call.error;
    }

private:
    using SecretServiceProxy = ::SecretService;

    // The calls of one operation, each bounded by what is left of the operation's time.
    class Call {
    public:
        explicit Call(SessionKeyring& owner)
            : owner_(owner),
              deadline_(
                  g_get_monotonic_time() +
                  std::chrono::duration_cast<std::chrono::microseconds>(owner.timeout_).count()) {}

        std::error_code error;

        // Starts one call and waits for it; its finish reports failure as false with an error,
        // which becomes `failure` (or timed_out when the deadline cancelled it).
        template <typename Start, typename Finish>
        auto Run(Start start, Finish finish, SecretsErrc failure, std::string& detail)
            -> decltype(finish(nullptr, nullptr)) {
            using Result = decltype(finish(nullptr, nullptr));
            if (error) return Result{};
            const std::shared_ptr<Pending> pending = Wait(start);
            if (!pending->result) {
                error = SecretsErrc::timed_out;
                return Result{};
            }
            GError* raw = nullptr;
            Result result = finish(pending->result, &raw);
            const Error failed(raw);
            if (failed) {
                error = pending->cancelled ? make_error_code(SecretsErrc::timed_out)
                                           : make_error_code(failure);
                detail = failed->message != nullptr ? failed->message : "";
            }
            return result;
        }

    private:
        template <typename Start> std::shared_ptr<Pending> Wait(Start start) {
            GMainContext* context = owner_.context_;
            g_main_context_push_thread_default(context);
            auto pending = std::make_shared<Pending>();
            GCancellable* cancellable = g_cancellable_new();
            start(cancellable, Ready, new std::shared_ptr<Pending>(pending));

            const gint64 left = std::max<gint64>(0, deadline_ - g_get_monotonic_time());
            struct Timers {
                Pending* pending;
                GCancellable* cancellable;
            } timers{pending.get(), cancellable};
            GSource* cancel = g_timeout_source_new(static_cast<guint>(left / 1000));
            g_source_set_callback(
                cancel,
                [](gpointer data) -> gboolean {
                    auto* t = static_cast<Timers*>(data);
                    t->pending->cancelled = true;
                    g_cancellable_cancel(t->cancellable);
                    return G_SOURCE_REMOVE;
                },
                &timers, nullptr);
            g_source_attach(cancel, context);
            GSource* abandon =
                g_timeout_source_new(static_cast<guint>(left / 1000) + kCancelGraceMs);
            g_source_set_callback(
                abandon,
                [](gpointer data) -> gboolean {
                    static_cast<Timers*>(data)->pending->abandoned = true;
                    return G_SOURCE_REMOVE;
                },
                &timers, nullptr);
            g_source_attach(abandon, context);

            while (!pending->result && !pending->abandoned)
                g_main_context_iteration(context, TRUE);

            g_source_destroy(cancel);
            g_source_unref(cancel);
            g_source_destroy(abandon);
            g_source_unref(abandon);
            g_object_unref(cancellable);
            g_main_context_pop_thread_default(context);
            return pending;
        }

        SessionKeyring& owner_;
        gint64 deadline_;
    };

    static GHashTable* Attributes(const SecretName& name) {
        GHashTable* table = g_hash_table_new_full(g_str_hash, g_str_equal, g_free, g_free);
        g_hash_table_insert(table, g_strdup("application"), g_strdup(kApplication));
        g_hash_table_insert(table, g_strdup("kind"), g_strdup(ToUtf8(name.kind).c_str()));
        g_hash_table_insert(table, g_strdup("account"), g_strdup(ToUtf8(name.account).c_str()));
        return table;
    }

    // Any failure to reach the service (no bus, nobody owning the name, no activation for it)
    // means there is no keyring to use.
    Ref<SecretServiceProxy> Open(Call& call, std::string& detail) {
        // The shared session-bus connection ends the process when the bus goes by default; a
        // desktop session that loses its bus should not take brevon with it. Held here, so that
        // the service below uses this same connection.
        bus_.reset(call.Run(
            [](GCancellable* cancellable, GAsyncReadyCallback ready, gpointer data) {
                g_bus_get(G_BUS_TYPE_SESSION, cancellable, ready, data);
            },
            [](GAsyncResult* result, GError** error) { return g_bus_get_finish(result, error); },
            SecretsErrc::no_keyring, detail));
        if (!bus_) return nullptr;
        g_dbus_connection_set_exit_on_close(bus_.get(), FALSE);
        Ref<SecretServiceProxy> service(call.Run(
            [](GCancellable* cancellable, GAsyncReadyCallback ready, gpointer data) {
                secret_service_open(SECRET_TYPE_SERVICE, nullptr, SECRET_SERVICE_OPEN_SESSION,
                                    cancellable, ready, data);
            },
            [](GAsyncResult* result, GError** error) {
                return secret_service_open_finish(result, error);
            },
            SecretsErrc::no_keyring, detail));
        return service;
    }

    // The collection new secrets go to, or null with the reason in call.error.
    Ref<SecretCollection> DefaultCollection(Call& call, SecretServiceProxy* service,
                                            std::string& detail) {
        Ref<SecretCollection> collection(call.Run(
            [service](GCancellable* cancellable, GAsyncReadyCallback ready, gpointer data) {
                secret_collection_for_alias(service, SECRET_COLLECTION_DEFAULT,
                                            SECRET_COLLECTION_NONE, cancellable, ready, data);
            },
            [](GAsyncResult* result, GError** error) {
                return secret_collection_for_alias_finish(result, error);
            },
            SecretsErrc::refused, detail));
        if (call.error) return nullptr;
        if (!collection) {
            // A keyring without a default collection would ask the user to create one.
            call.error = SecretsErrc::locked;
            detail = "no default collection";
            return nullptr;
        }
        if (secret_collection_get_locked(collection.get())) {
            call.error = SecretsErrc::locked;
            return nullptr;
        }
        return collection;
    }

    // The items stored under the name, their secrets loaded where they are unlocked.
    GList* Search(Call& call, SecretServiceProxy* service, const SecretName& name,
                  std::string& detail) {
        const std::unique_ptr<GHashTable, HashFree> attributes(Attributes(name));
        return call.Run(
            [&](GCancellable* cancellable, GAsyncReadyCallback ready, gpointer data) {
                secret_service_search(
                    service, &kSchema, attributes.get(),
                    static_cast<SecretSearchFlags>(SECRET_SEARCH_ALL | SECRET_SEARCH_LOAD_SECRETS),
                    cancellable, ready, data);
            },
            [service](GAsyncResult* result, GError** error) {
                return secret_service_search_finish(service, result, error);
            },
            SecretsErrc::refused, detail);
    }

    std::chrono::milliseconds timeout_;
    GMainContext* context_;
    Ref<GDBusConnection> bus_;
};

} // namespace

std::unique_ptr<SecretStore> DesktopSecretStore(std::chrono::milliseconds timeout) {
    return std::make_unique<SessionKeyring>(timeout);
}

} // namespace platform
