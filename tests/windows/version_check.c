/* version_check FILE VERSION: reads FILE's version resource as Explorer and
 * installers do, through GetFileVersionInfo, and checks that it states
 * VERSION (three numbers) as file and product version, the file's own name
 * as its original name, and a description, product name and copyright. */
#include <stdio.h>
#include <string.h>

#include <windows.h>

static int failures;

static void check(int ok, const char *file, const char *what)
{
    if (!ok) {
        printf("FAIL: %s: %s\n", file, what);
        ++failures;
    }
}

static const char *text_value(const void *info, const char *name)
{
    char path[96];
    void *value = NULL;
    UINT size = 0;
    snprintf(path, sizeof path, "\\StringFileInfo\\040904B0\\%s", name);
    return VerQueryValueA(info, path, &value, &size) && size > 0 ? (const char *)value : "";
}

int main(int argc, char **argv)
{
    static char info[1 << 14];
    const char *file, *base;
    VS_FIXEDFILEINFO *fixed = NULL;
    UINT size = 0;
    unsigned major = 0, minor = 0, patch = 0;
    DWORD length;
    if (argc != 3 || sscanf(argv[2], "%u.%u.%u", &major, &minor, &patch) != 3) {
        printf("usage: version_check FILE MAJOR.MINOR.PATCH\n");
        return 2;
    }
    file = argv[1];
    base = strrchr(file, '\\') ? strrchr(file, '\\') + 1 : file;
    length = GetFileVersionInfoSizeA(file, NULL);
    if (length == 0 || length > sizeof info || !GetFileVersionInfoA(file, 0, sizeof info, info)) {
        printf("FAIL: %s: no version resource (error %lu)\n", file, GetLastError());
        return 1;
    }
    check(VerQueryValueA(info, "\\", (void **)&fixed, &size) && size == sizeof *fixed
              && fixed->dwSignature == 0xfeef04bd && fixed->dwFileVersionMS == (major << 16 | minor)
              && fixed->dwFileVersionLS == patch << 16 && fixed->dwProductVersionMS == fixed->dwFileVersionMS
              && fixed->dwProductVersionLS == fixed->dwFileVersionLS,
          file, "numeric file and product versions");
    check(strcmp(text_value(info, "FileVersion"), argv[2]) == 0, file, "FileVersion");
    check(strcmp(text_value(info, "ProductVersion"), argv[2]) == 0, file, "ProductVersion");
    check(_stricmp(text_value(info, "OriginalFilename"), base) == 0, file, "OriginalFilename");
    check(strcmp(text_value(info, "ProductName"), "dessec") == 0, file, "ProductName");
    check(*text_value(info, "FileDescription") != '\0', file, "FileDescription");
    check(*text_value(info, "LegalCopyright") != '\0', file, "LegalCopyright");
    if (failures == 0)
        printf("%s: version %s, \"%s\"\n", base, text_value(info, "FileVersion"),
               text_value(info, "FileDescription"));
    return failures != 0;
}
