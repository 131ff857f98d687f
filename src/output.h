// The output writer interface: the search reports through it and polls its stop
// request, without depending on the command layer that implements it.
#pragma once

#include <string_view>

namespace kestrune {

class OutputSink {
public:
    virtual ~OutputSink() = default;
    // Writes the text and exactly one "\n", then flushes.
    virtual void write_line(std::string_view text) = 0;
    virtual bool stop_requested() const = 0;
    virtual void set_stop_requested(bool value) = 0;
    // Blocks until a stop is requested. A writer with no other thread that
    // could request one returns at once.
    virtual void wait_for_stop_request() {}
};

}  // namespace kestrune
