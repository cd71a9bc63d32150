// ostrel-route: answers `route -n get default` with the one line the sampler reads,
// "interface: NAME", or exits 1 when the machine has no route to the outside.
#include <cstdio>

#include "DefaultRoute.hpp"

int main(int, char**) {
    auto name = ostrel::route::kernelRouteInterface();
    if (!name) {
        name = ostrel::route::procNetRouteInterface("/proc/net/route");
    }
    if (!name) {
        return 1;
    }
    std::printf("interface: %s\n", name->c_str());
    return std::fflush(stdout) == 0 ? 0 : 1;
}
