// A stand-in for the course program: prints what tvkcombo handed over, so
// that a newcomer sees the launch work before any real overlay exists.
// A shell script cannot do this job: the kernel replaces a script's argv[0],
// and argv[0] is where the launcher puts the action word.
#include <cstdio>
#include <string_view>
#include <unistd.h>

int main(int argc, char** argv) {
    std::printf("demo overlay: action \"%s\"\n", argc > 0 ? argv[0] : "");
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string_view variable(*entry);
        if (variable.starts_with("TOVREK_") || variable.starts_with("LD_LIBRARY_PATH="))
            std::printf("  %s\n", *entry);
    }
    return 0;
}
