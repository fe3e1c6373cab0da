#pragma once
// A table of a library's functions, opened at the first use that needs it
// (platform/SharedLibrary.h). LIST(X) names the functions: X(name) each.
//
//   #define PNG_FUNCTIONS(X) X(png_create_read_struct) X(png_read_info)
//   struct PngFunctions { ZENKS_LIBRARY_FUNCTIONS(PNG_FUNCTIONS) };
//   const PngFunctions* png = LibraryFunctions<PngFunctions>("libpng16.so.16");
#include "platform/SharedLibrary.h"

#include <string>

#define ZENKS_FUNCTION_MEMBER(name) decltype(&::name) name = nullptr;
#define ZENKS_FUNCTION_LOAD(name)                                                                            \
    name = reinterpret_cast<decltype(&::name)>(platform::SharedLibraryFunction(library, #name));             \
    complete = complete && name != nullptr;
#define ZENKS_LIBRARY_FUNCTIONS(LIST)                                                                        \
    LIST(ZENKS_FUNCTION_MEMBER)                                                                              \
    bool Load(const std::string& fileName) {                                                                 \
        void* library = platform::OpenSharedLibrary(fileName);                                               \
        bool complete = library != nullptr;                                                                  \
        LIST(ZENKS_FUNCTION_LOAD)                                                                            \
        return complete;                                                                                     \
    }

// The same table bound to functions linked into the program, as in a static
// build: nothing to open, and it is never null.
#define ZENKS_FUNCTION_LINKED(name) decltype(&::name) name = &::name;
#define ZENKS_LINKED_FUNCTIONS(LIST)                                                                         \
    LIST(ZENKS_FUNCTION_LINKED)                                                                              \
    bool Load(const std::string&) {                                                                          \
        return true;                                                                                         \
    }

// The table, loaded once for the process from the file named at the first
// call; null when the library or one of its functions is missing.
template <class Table> const Table* LibraryFunctions(const std::string& fileName) {
    static const Table* const loaded = [&]() -> const Table* {
        static Table table;
        return table.Load(fileName) ? &table : nullptr;
    }();
    return loaded;
}
