// ostrel-core-probe LIBRARY: loads the core library and calls each of its entry points once, in a
// process of its own, so that a library that crashes or hangs while it loads takes only this
// process down. Exits 0 when it loaded and answered (a library without the entry points also
// loads: the program finds that out by itself), 3 when dlopen refused it.
#include <dlfcn.h>

#include <cstdlib>

namespace {

using EntryPoint = char* (*)(const char*);
using FreeFunction = void (*)(char*);

template <class Function>
Function bound(void* library, const char* name) {
    return reinterpret_cast<Function>(::dlsym(library, name));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    void* const library = ::dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    // _Exit: nothing of this process is worth the time of its exit handlers.
    if (library == nullptr) std::_Exit(3);
    const auto release = bound<FreeFunction>(library, "ol_core_free_string");
    const struct {
        const char* name;
        const char* request;
    } calls[] = {
        {"ol_core_evaluate_thresholds",
         R"({"total_bytes":1,"warning_threshold_bytes":2,"danger_threshold_bytes":3})"},
        {"ol_core_aggregate_usage",
         R"({"samples":[],"start":"2024-01-01T00:00:00Z","end":"2024-01-01T01:00:00Z","bucket_size":"hour"})"},
        {"ol_core_rank_entities", R"({"samples":[],"dimension":"network","limit":1})"},
    };
    for (const auto& call : calls) {
        const auto function = bound<EntryPoint>(library, call.name);
        if (function == nullptr || release == nullptr) continue;
        if (char* const answer = function(call.request)) release(answer);
    }
    std::_Exit(0);
}
