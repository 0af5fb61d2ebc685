// Loading libNomix296 at start-up: it replaces a few arithmetic routines and the
// chain runners with its own (a runner that recovers processor faults), and
// gives the engine its native caller. Without it the engine keeps its plain
// routines and works on, only without fault recovery and native calls.
#include <dlfcn.h>

#include <string>

#include "routines.h"

// The command entry, bound weakly so the engine's objects also link in tests
// that leave it out.
extern "C" intptr_t Nomix(intptr_t command, const char *textArg, intptr_t miscArg1, intptr_t miscArg2,
                          intptr_t returnPtr, intptr_t t) __attribute__((weak));

namespace nx {
namespace {

// Handshake's signature, as the library exports it.
using CommandEntry = intptr_t (*)(intptr_t, const char *, intptr_t, intptr_t, intptr_t, intptr_t);
using HandshakeFn = void (*)(CommandEntry, void (*)(OperationRecord *, intptr_t, long double),
                             void (*)(OperationRecord *, intptr_t));

constexpr const char *kLibraryName = "libNomix296.so";
bool loaded = false;

// The command entry handed to the library when Nomix itself is not linked in.
intptr_t commandEntry(intptr_t code, const char *text, intptr_t misc1, intptr_t misc2, intptr_t returnPtr,
                      intptr_t t) {
    return command(code, text ? std::string_view(text) : std::string_view(), misc1, misc2, returnPtr, t);
}

// The library next to the file the engine was loaded from, else wherever the
// dynamic loader's search path finds it.
void *openLibrary() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void *>(&loadNativeMath), &info) && info.dli_fname) {
        std::string path(info.dli_fname);
        size_t slash = path.rfind('/');
        path = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + kLibraryName;
        if (void *handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) return handle;
    }
    return dlopen(kLibraryName, RTLD_NOW | RTLD_LOCAL);
}

} // namespace

// Loads the library once and lets it register its routines. A missing library
// or export is not an error: nothing is printed and the plain routines stay.
void loadNativeMath() {
    if (loaded) return;
    void *library = openLibrary();
    if (!library) return;
    auto handshake = reinterpret_cast<HandshakeFn>(dlsym(library, "Handshake"));
    void *tryStdCall = dlsym(library, "TryStdCall");
    if (!handshake || !tryStdCall) {
        dlclose(library);
        return;
    }
    setTryStdCall(tryStdCall);
    handshake(Nomix ? &Nomix : &commandEntry, &nativeStoreResult, &nativeAfterCall);
    loaded = true;
}

// True once the library is in and has registered its routines.
bool nativeMathLoaded() { return loaded; }

} // namespace nx
