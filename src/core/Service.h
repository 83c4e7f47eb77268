#pragma once

// A service of the platform layer: the real one, unless a test has put a fake in its place.
// Interface derives from Service<Interface> and says what its real one is.
template <class Interface> class Service
{
public:
    static Interface& instance() { return s_replacement ? *s_replacement : Interface::real(); }
    // nullptr puts the real one back.
    static void setInstance(Interface* replacement) { s_replacement = replacement; }

private:
    static inline Interface* s_replacement = nullptr;
};
