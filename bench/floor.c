/* The floor: a dynamically linked program that does nothing but execve the
 * overlay. argv[1] is the overlay, argv[2..] its environment, so the overlay
 * gets the launcher's environment while this program starts with the
 * launcher's own. */
#include <unistd.h>

int main(int argc, char** argv) {
    char* const overlay_argv[] = {"playback", NULL};
    if (argc > 1)
        execve(argv[1], overlay_argv, argv + 2);
    return 127;
}
