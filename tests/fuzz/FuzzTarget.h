// Fuzz targets register themselves by name; each is built as a libFuzzer
// program (with -DDUOLUME_FUZZ=ON and clang) and replayed over its committed
// seed corpus by the ordinary test run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

namespace fuzzing {

using FuzzFunction = void (*)(const std::uint8_t* data, std::size_t size);

std::map<std::string, FuzzFunction>& registry();

struct Registrar {
    Registrar(const char* name, FuzzFunction f) { registry()[name] = f; }
};

}  // namespace fuzzing

#define DUOLUME_FUZZ_TARGET(name)                                        \
    static void fuzz_##name(const std::uint8_t* data, std::size_t size); \
    static ::fuzzing::Registrar registrar_##name(#name, fuzz_##name);    \
    static void fuzz_##name(const std::uint8_t* data, std::size_t size)
