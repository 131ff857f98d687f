// Entry of the single-threaded browser build, for pages without cross-origin
// isolation (no shared memory, so no second thread). The host hands over one
// line at a time and every command, searches included, runs to completion
// before the next line is read: a search ends only by its own limits, and a
// "stop" arrives after it. A "go infinite" that ends by itself answers at
// once, since nothing could ever stop it.
#include <emscripten.h>

#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <string_view>

#include "engine.h"
#include "platform.h"

namespace {

class HostSink final : public kestrune::OutputSink {
public:
    void write_line(std::string_view text) override {
        std::string line(text);
        line.push_back('\n');
        kestrune::platform::write_all(kestrune::platform::STDOUT_FD, line);
    }
};

std::unique_ptr<kestrune::Engine> engine;

}  // namespace

// One input line, terminator included. Returns 1 once the engine has ended
// ("quit" or unreadable input), after which further lines are ignored.
extern "C" EMSCRIPTEN_KEEPALIVE int kestrune_single_line(const char* bytes, std::size_t size) {
    if (!engine) {
        return 1;
    }
    const std::string_view line(bytes, size);
    if (!kestrune::is_valid_utf8(line)) {
        std::cerr << "Failed to read line: stream did not contain valid UTF-8" << std::endl;
        engine.reset();
        return 1;
    }
    if (line.substr(0, 4) == "quit") {
        engine.reset();
        return 1;
    }
    try {
        engine->dispatch(line);
    } catch (const std::exception& error) {
        std::cerr << "kestrune: fatal error: " << error.what() << std::endl;
        engine.reset();
        return 1;
    }
    return 0;
}

int main() {
    kestrune::platform::write_all(kestrune::platform::STDOUT_FD,
                                  "<0)))><  kestrune Chess Engine v" + std::string(kestrune::VERSION) + "\n");
    engine = std::make_unique<kestrune::Engine>(kestrune::EngineOptions{}, std::make_unique<HostSink>());
    return EXIT_SUCCESS;
}
