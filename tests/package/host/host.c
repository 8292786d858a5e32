/* The smallest host: built against the installed package (find_package or pkg-config), linked to the
 * library, it prints which library file the process loaded and checks the defaults of a fresh engine.
 * tarvelmond_host [prefix]: with a prefix, the loaded library must lie inside it. */
#define _GNU_SOURCE
#include <link.h>
#include <stdio.h>
#include <string.h>
#include <tarvelmond.h>

static int remember_library(struct dl_phdr_info* info, size_t size, void* path) {
    (void)size;
    if (strstr(info->dlpi_name, "libtarvelmond") == NULL) return 0;
    snprintf((char*)path, 4096, "%s", info->dlpi_name);
    return 1;
}

int main(int argc, char** argv) {
    char path[4096] = "";
    char name[21];
    int failures = 0;

    dl_iterate_phdr(remember_library, path);
    printf("loaded %s\n", path);
    if (argc > 1 && strncmp(path, argv[1], strlen(argv[1])) != 0) {
        printf("not the installed library under %s\n", argv[1]);
        ++failures;
    }
    getGameName(name);
    if (getGameID() != -1 || strcmp(name, "No Game online") != 0) ++failures;
    if (getGameDataCount() != 44 || getactiveProfil() != 0) ++failures;
    if (getProfilAirTransitionStatus() != 100.0 || getProfilGrdTransitionStatus() != 0.0) ++failures;
    if (setcheckFilterstring(0, 0, "GAIN(VALUE;2)") != 1 || setcheckFilterstring(0, 0, "GAIN(") != 0)
        ++failures;
    printf("%s\n", failures == 0 ? "defaults as documented" : "defaults differ");
    return failures == 0 ? 0 : 1;
}
