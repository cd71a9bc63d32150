#pragma once

#include <dlfcn.h>

#include <stdexcept>
#include <string>

#include "core/support/CoreCall.hpp"

namespace ostrel::vell::test {

// The built libostrel_core.so, loaded by path and bound by name as the program binds it.
class LoadedCore final {
public:
    explicit LoadedCore(const char* path = OSTREL_CORE_LIBRARY_PATH) : handle_(dlopen(path, RTLD_NOW | RTLD_LOCAL)) {
        if (handle_ == nullptr) throw std::runtime_error(std::string("dlopen failed: ") + dlerror());
        aggregate = bind<RequestFunction>("ol_core_aggregate_usage");
        rank = bind<RequestFunction>("ol_core_rank_entities");
        thresholds = bind<RequestFunction>("ol_core_evaluate_thresholds");
        release = bind<FreeFunction>("ol_core_free_string");
    }
    ~LoadedCore() { dlclose(handle_); }
    LoadedCore(const LoadedCore&) = delete;
    LoadedCore& operator=(const LoadedCore&) = delete;

    std::string call(RequestFunction function, const char* request) const {
        return test::call(function, request, release);
    }

    RequestFunction aggregate = nullptr;
    RequestFunction rank = nullptr;
    RequestFunction thresholds = nullptr;
    FreeFunction release = nullptr;

private:
    template <class Function>
    Function bind(const char* name) {
        void* symbol = dlsym(handle_, name);
        if (symbol == nullptr) throw std::runtime_error(std::string("missing symbol ") + name);
        return reinterpret_cast<Function>(symbol);
    }

    void* handle_;
};

}  // namespace ostrel::vell::test
