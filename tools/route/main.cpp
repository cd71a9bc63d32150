// ostrel-route: the sampler's default-route lookup as a program, so that it can be checked from a
// shell against `ip route get`. Prints "interface: NAME", or exits 1 when there is no usable route.
#include <cstdio>

#include "Platform/NetlinkDefaultRouteLookup.hpp"

int main(int, char**) {
    const auto name = ostrel::NetlinkDefaultRouteLookup().defaultRouteInterface();
    if (!name) {
        std::fputs("ostrel-route: no usable default route\n", stderr);
        return 1;
    }
    std::printf("interface: %s\n", name->c_str());
    return std::fflush(stdout) == 0 ? 0 : 1;
}
