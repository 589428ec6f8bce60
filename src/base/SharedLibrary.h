#pragma once
// Libraries opened on first use instead of linked: a linked library costs every start of every
// program that links it (mapping, relocation), even a start that never calls it.
#include <dlfcn.h>

#define BRINDLE_SONAME_TEXT(x) #x
// "lib<name>.so.<major>" from a version macro of the headers built against.
#define BRINDLE_SONAME(name, major) "lib" name ".so." BRINDLE_SONAME_TEXT(major)

namespace brindle {

// The library of that soname, kept open for the process's life; null when it cannot be opened.
inline void* OpenSharedLibrary(const char* Soname) {
    return dlopen(Soname, RTLD_NOW | RTLD_LOCAL);
}

// Sets `Function` to the library's function of that name, typed as declared; false when missing.
template <typename F> bool ResolveFunction(void* Library, const char* Name, F& Function) {
    Function = Library ? reinterpret_cast<F>(dlsym(Library, Name)) : nullptr;
    return Function != nullptr;
}

// The named function of the program's plugin of that file name: a library built beside the
// programs and installed in lib/brindle, looked for in $BRINDLE_PLUGIN_DIR, the program's folder
// and its ../lib/brindle. Null when no plugin there has it.
void* PluginFunction(const char* FileName, const char* Name);

// Sets `Function` to that function, typed as declared; false when no plugin has it.
template <typename F> bool ResolvePluginFunction(const char* FileName, const char* Name, F& Function) {
    Function = reinterpret_cast<F>(PluginFunction(FileName, Name));
    return Function != nullptr;
}

} // namespace brindle
