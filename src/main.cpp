// Program entry: the main thread prints the banner and runs the input loop;
// the engine thread owns the engine and runs the commands.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

#include "engine.h"
#include "input.h"
#include "platform.h"

namespace {

[[noreturn]] void die(const std::string& report) {
    std::cerr << report << std::endl;
    std::_Exit(EXIT_FAILURE);
}

// Started under this name (as a copy or a link), the engine runs in the
// extended profile: for interfaces that cannot pass arguments.
bool named_extended(std::string_view program) {
    const std::size_t slash = program.find_last_of("/\\");
    const std::string_view name = slash == std::string_view::npos ? program : program.substr(slash + 1);
    return name == "kestrune-extended" || name == "kestrune-extended.exe";
}

kestrune::EngineOptions options_from_arguments(int argc, char** argv) {
    kestrune::EngineOptions options;
    options.extended = argc > 0 && named_extended(argv[0]);
    bool log_seen = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--extended") {
            options.extended = true;
        } else if (argument == "--log" && !log_seen) {
            // The first "--log" takes the next argument as its path, whatever it is.
            log_seen = true;
            if (i + 1 < argc) {
                options.log_path = argv[++i];
            }
        }
    }
    return options;
}

void run_engine_thread(kestrune::Channel& channel, kestrune::InputSignals& shared, kestrune::EngineOptions options) {
    try {
        kestrune::Engine engine(std::move(options), std::make_unique<kestrune::StdoutSink>(), &shared.signals);
        kestrune::run_engine_loop(channel, shared, engine);
    } catch (const std::exception& error) {
        // A mute engine would leave its interface waiting for ever.
        die(std::string("kestrune: fatal error: ") + error.what());
    }
}

}  // namespace

int main(int argc, char** argv) {
    kestrune::platform::prepare_process();
    // Both live until the process ends: a read failure leaves without joining.
    static kestrune::Channel channel;
    static kestrune::InputSignals shared;
    kestrune::EngineOptions options = options_from_arguments(argc, argv);
    const kestrune::InputOptions input_options{.act_on_ponderhit = options.extended};
    std::thread engine_thread(run_engine_thread, std::ref(channel), std::ref(shared), std::move(options));

    const std::string banner = "<0)))><  kestrune Chess Engine v" + std::string(kestrune::VERSION) + "\n";
    if (!kestrune::platform::write_all(kestrune::platform::STDOUT_FD, banner)) {
        die(std::string("Cannot write to output stream!: ") + std::strerror(errno));
    }
    kestrune::LineReader reader(kestrune::platform::read_input);
    const kestrune::InputEnd end = kestrune::run_input_loop(reader, channel, shared, input_options);
    const bool finished = end != kestrune::InputEnd::ReadFailure;
    channel.close(finished);
    if (finished) {
        engine_thread.join();
    } else {
        // A read failure leaves at once, wherever the engine thread is;
        // nothing is buffered.
        engine_thread.detach();
    }
    std::_Exit(EXIT_SUCCESS);
}
