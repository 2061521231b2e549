/* The floor for listing: a bare single-threaded walk of each tree given, with
 * opendir/readdir and one fstatat per entry, as any listing that reports size and time must
 * at least do. Prints "walk_entries=N".
 *
 *   walk_floor DIR...
 */
#define _GNU_SOURCE
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

static long walk(int parentFd, const char* name)
{
    int fd = openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    DIR* dir = fdopendir(fd);
    if (!dir) {
        close(fd);
        return 0;
    }
    long count = 0;
    struct dirent* e;
    while ((e = readdir(dir)) != NULL) {
        if (e->d_name[0] == '.' && (e->d_name[1] == 0 || (e->d_name[1] == '.' && e->d_name[2] == 0)))
            continue;
        struct stat st;
        if (fstatat(dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        ++count;
        if (S_ISDIR(st.st_mode))
            count += walk(dirfd(dir), e->d_name);
    }
    closedir(dir);
    return count;
}

int main(int argc, char** argv)
{
    long total = 0;
    for (int i = 1; i < argc; ++i)
        total += walk(AT_FDCWD, argv[i]);
    printf("walk_entries=%ld\n", total);
    return 0;
}
