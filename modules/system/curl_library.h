#pragma once
// libcurl, loaded the first time a feed is fetched or an address is read, not
// when the program starts: it brings some thirty libraries with it, whose
// loading would otherwise slow down every command, the many that never go
// online included. The header gives the types and constants; the functions are
// reached through this table.
#include <curl/curl.h>

struct CurlLibrary {
    CURLcode (*globalInit)(long flags);
    CURL* (*easyInit)();
    CURLcode (*easySetopt)(CURL*, CURLoption, ...);
    CURLcode (*easyGetinfo)(CURL*, CURLINFO, ...);
    void (*easyCleanup)(CURL*);
    const char* (*easyStrerror)(CURLcode);
    CURLM* (*multiInit)();
    CURLMcode (*multiCleanup)(CURLM*);
    CURLMcode (*multiAddHandle)(CURLM*, CURL*);
    CURLMcode (*multiRemoveHandle)(CURLM*, CURL*);
    CURLMcode (*multiPerform)(CURLM*, int*);
    CURLMcode (*multiPoll)(CURLM*, struct curl_waitfd[], unsigned int, int, int*);
    CURLMsg* (*multiInfoRead)(CURLM*, int*);
    CURLU* (*url)();
    void (*urlCleanup)(CURLU*);
    CURLUcode (*urlSet)(CURLU*, CURLUPart, const char*, unsigned int);
    CURLUcode (*urlGet)(const CURLU*, CURLUPart, char**, unsigned int);
    void (*freeMemory)(void*);
};

namespace Curl {

// The library, loaded and globally initialised on the first call (from any
// thread); nullptr when the system has no usable libcurl.
const CurlLibrary* library();

}  // namespace Curl
