#include "modules/system/curl_library.h"

#include "platform/shared_library.h"

namespace Curl {
namespace {

template <typename Function>
bool bind(void* handle, const char* name, Function*& slot) {
    slot = reinterpret_cast<Function*>(SharedLibrary::symbol(handle, name));
    return slot != nullptr;
}

const CurlLibrary* load() {
    void* handle = SharedLibrary::open(SharedLibrary::fileName("curl", 4));
    if (!handle) return nullptr;
    static CurlLibrary lib;
    bool ok = bind(handle, "curl_global_init", lib.globalInit) && bind(handle, "curl_easy_init", lib.easyInit) &&
              bind(handle, "curl_easy_setopt", lib.easySetopt) && bind(handle, "curl_easy_getinfo", lib.easyGetinfo) &&
              bind(handle, "curl_easy_cleanup", lib.easyCleanup) &&
              bind(handle, "curl_easy_strerror", lib.easyStrerror) && bind(handle, "curl_multi_init", lib.multiInit) &&
              bind(handle, "curl_multi_cleanup", lib.multiCleanup) &&
              bind(handle, "curl_multi_add_handle", lib.multiAddHandle) &&
              bind(handle, "curl_multi_remove_handle", lib.multiRemoveHandle) &&
              bind(handle, "curl_multi_perform", lib.multiPerform) && bind(handle, "curl_multi_poll", lib.multiPoll) &&
              bind(handle, "curl_multi_info_read", lib.multiInfoRead) && bind(handle, "curl_url", lib.url) &&
              bind(handle, "curl_url_cleanup", lib.urlCleanup) && bind(handle, "curl_url_set", lib.urlSet) &&
              bind(handle, "curl_url_get", lib.urlGet) && bind(handle, "curl_free", lib.freeMemory);
    if (!ok || lib.globalInit(CURL_GLOBAL_DEFAULT) != CURLE_OK) return nullptr;
    return &lib;
}

}  // namespace

const CurlLibrary* library() {
    static const CurlLibrary* const lib = load();
    return lib;
}

}  // namespace Curl
