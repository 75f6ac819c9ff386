// The interface of an effect's optional editor window. The effect that holds an
// editor owns it and destroys it with itself.
#pragma once

#include <cstdint>

class EffectEditor {
public:
    virtual ~EffectEditor() = default;
    // [ui thread] ptr is the host's, passed through unchanged; the answer goes to the host.
    virtual std::intptr_t getRect(void* ptr) = 0;
    virtual std::intptr_t open(void* ptr) = 0;
    virtual void close() = 0;
    virtual void idle() = 0;
};
