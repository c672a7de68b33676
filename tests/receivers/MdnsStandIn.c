/* Stands in for the mDNS daemon's client library under SoapySDRServer in the remote test: the
 * server gives up when it cannot publish itself, and test machines run no mDNS daemon. Loaded
 * with LD_PRELOAD into the server only; publishing succeeds and browsing finds nothing. */
#include <stddef.h>

enum { kClientRunning = 2 };

typedef void (*ClientCallback)(void* client, int state, void* userdata);

static char g_client;
static char g_object;

void* avahi_client_new(const void* poll, int flags, ClientCallback callback, void* userdata, int* error)
{
    (void)poll;
    (void)flags;
    if (error != NULL)
        *error = 0;
    if (callback != NULL)
        callback(&g_client, kClientRunning, userdata);
    return &g_client;
}

void avahi_client_free(void* client) { (void)client; }
int avahi_client_get_state(void* client) { (void)client; return kClientRunning; }
int avahi_client_errno(void* client) { (void)client; return 0; }
const char* avahi_client_get_version_string(void* client) { (void)client; return "stand-in"; }
const char* avahi_client_get_host_name(void* client) { (void)client; return "localhost"; }
const char* avahi_client_get_host_name_fqdn(void* client) { (void)client; return "localhost.local"; }
const char* avahi_client_get_domain_name(void* client) { (void)client; return "local"; }

void* avahi_entry_group_new(void* client, void* callback, void* userdata)
{
    (void)client;
    (void)callback;
    (void)userdata;
    return &g_object;
}
void* avahi_entry_group_get_client(void* group) { (void)group; return &g_client; }
int avahi_entry_group_add_service_strlst(void* group, int interface, int protocol, int flags, const char* name,
                                         const char* type, const char* domain, const char* host, unsigned short port,
                                         void* txt)
{
    (void)group; (void)interface; (void)protocol; (void)flags; (void)name; (void)type; (void)domain; (void)host;
    (void)port; (void)txt;
    return 0;
}
int avahi_entry_group_commit(void* group) { (void)group; return 0; }
int avahi_entry_group_free(void* group) { (void)group; return 0; }
