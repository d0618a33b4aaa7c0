// Windows test programs start the socket layer before any test, as the
// programs themselves do in main.
#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>

#include "platform/udp_socket.h"

namespace {

[[maybe_unused]] const bool socketLayerStarted = [] {
    if (!tamro::startSocketLayer()) {
        std::cerr << "the socket layer does not start\n";
        std::exit(1);
    }
    return true;
}();

}  // namespace
