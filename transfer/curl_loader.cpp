// libcurl is loaded when the first transfer starts, not with the program: its library and the
// dozens it depends on would otherwise be mapped and relocated before the launcher's first window,
// a third of its start-up. These are the libcurl calls the transfers make, each passed on to the
// library loaded on first use; where it cannot be loaded, they fail the way libcurl fails when it
// has no memory (nothing is made, every call reports an error).
#include <curl/curl.h>

#include <cstdarg>
#include <cstdio>
#include <dlfcn.h>
#include <mutex>

namespace {

struct CurlLibrary {
    CURLcode (*global_init)(long);
    CURL* (*easy_init)();
    CURLcode (*easy_setopt)(CURL*, CURLoption, ...);
    CURLcode (*easy_getinfo)(CURL*, CURLINFO, ...);
    void (*easy_cleanup)(CURL*);
    curl_slist* (*slist_append)(curl_slist*, const char*);
    void (*slist_free_all)(curl_slist*);
    CURLM* (*multi_init)();
    CURLMcode (*multi_add_handle)(CURLM*, CURL*);
    CURLMcode (*multi_remove_handle)(CURLM*, CURL*);
    CURLMcode (*multi_perform)(CURLM*, int*);
    CURLMcode (*multi_poll)(CURLM*, curl_waitfd[], unsigned, int, int*);
    CURLMsg* (*multi_info_read)(CURLM*, int*);
    CURLMcode (*multi_cleanup)(CURLM*);
};

template <typename F>
bool Resolve(void* library, const char* name, F& slot) {
    slot = reinterpret_cast<F>(dlsym(library, name));
    return slot != nullptr;
}

const CurlLibrary* Library() {
    static CurlLibrary curl{};
    static bool loaded = false;
    static std::once_flag once;
    std::call_once(once, [] {
        void* library = dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
        loaded = library && Resolve(library, "curl_global_init", curl.global_init) &&
                 Resolve(library, "curl_easy_init", curl.easy_init) &&
                 Resolve(library, "curl_easy_setopt", curl.easy_setopt) &&
                 Resolve(library, "curl_easy_getinfo", curl.easy_getinfo) &&
                 Resolve(library, "curl_easy_cleanup", curl.easy_cleanup) &&
                 Resolve(library, "curl_slist_append", curl.slist_append) &&
                 Resolve(library, "curl_slist_free_all", curl.slist_free_all) &&
                 Resolve(library, "curl_multi_init", curl.multi_init) &&
                 Resolve(library, "curl_multi_add_handle", curl.multi_add_handle) &&
                 Resolve(library, "curl_multi_remove_handle", curl.multi_remove_handle) &&
                 Resolve(library, "curl_multi_perform", curl.multi_perform) &&
                 Resolve(library, "curl_multi_poll", curl.multi_poll) &&
                 Resolve(library, "curl_multi_info_read", curl.multi_info_read) &&
                 Resolve(library, "curl_multi_cleanup", curl.multi_cleanup);
        if (!loaded) std::fprintf(stderr, "cannot load libcurl.so.4: %s\n", library ? "a function is missing" : dlerror());
    });
    return loaded ? &curl : nullptr;
}

} // namespace

extern "C" {

CURLcode curl_global_init(long flags) { return Library() ? Library()->global_init(flags) : CURLE_FAILED_INIT; }
CURL* curl_easy_init() { return Library() ? Library()->easy_init() : nullptr; }
void curl_easy_cleanup(CURL* curl) {
    if (Library() && curl) Library()->easy_cleanup(curl);
}

// The option number says what kind of value follows (a long, a pointer of either kind, a
// curl_off_t), so the value is passed on as that kind.
CURLcode curl_easy_setopt(CURL* curl, CURLoption option, ...) {
    if (!Library()) return CURLE_FAILED_INIT;
    va_list value;
    va_start(value, option);
    CURLcode code;
    if (option < CURLOPTTYPE_OBJECTPOINT)
        code = Library()->easy_setopt(curl, option, va_arg(value, long));
    else if (option < CURLOPTTYPE_OFF_T)
        code = Library()->easy_setopt(curl, option, va_arg(value, void*));
    else if (option < CURLOPTTYPE_BLOB)
        code = Library()->easy_setopt(curl, option, va_arg(value, curl_off_t));
    else
        code = Library()->easy_setopt(curl, option, va_arg(value, void*));
    va_end(value);
    return code;
}

// Every piece of information is written through a pointer.
CURLcode curl_easy_getinfo(CURL* curl, CURLINFO info, ...) {
    if (!Library()) return CURLE_FAILED_INIT;
    va_list value;
    va_start(value, info);
    const CURLcode code = Library()->easy_getinfo(curl, info, va_arg(value, void*));
    va_end(value);
    return code;
}

curl_slist* curl_slist_append(curl_slist* list, const char* text) {
    return Library() ? Library()->slist_append(list, text) : nullptr;
}
void curl_slist_free_all(curl_slist* list) {
    if (Library()) Library()->slist_free_all(list);
}

CURLM* curl_multi_init() { return Library() ? Library()->multi_init() : nullptr; }
CURLMcode curl_multi_add_handle(CURLM* multi, CURL* curl) {
    return Library() ? Library()->multi_add_handle(multi, curl) : CURLM_INTERNAL_ERROR;
}
CURLMcode curl_multi_remove_handle(CURLM* multi, CURL* curl) {
    return Library() ? Library()->multi_remove_handle(multi, curl) : CURLM_INTERNAL_ERROR;
}
CURLMcode curl_multi_perform(CURLM* multi, int* running) {
    return Library() ? Library()->multi_perform(multi, running) : CURLM_INTERNAL_ERROR;
}
CURLMcode curl_multi_poll(CURLM* multi, curl_waitfd fds[], unsigned count, int timeoutMs, int* ready) {
    return Library() ? Library()->multi_poll(multi, fds, count, timeoutMs, ready) : CURLM_INTERNAL_ERROR;
}
CURLMsg* curl_multi_info_read(CURLM* multi, int* left) {
    return Library() ? Library()->multi_info_read(multi, left) : nullptr;
}
CURLMcode curl_multi_cleanup(CURLM* multi) { return Library() ? Library()->multi_cleanup(multi) : CURLM_INTERNAL_ERROR; }

} // extern "C"
