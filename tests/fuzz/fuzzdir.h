// A folder for a fuzz target's files: under TMPDIR (else /tmp), removed
// with its files when the target ends.
#ifndef QUORRAL_FUZZDIR_H
#define QUORRAL_FUZZDIR_H

#include <cstdlib>
#include <dirent.h>
#include <string>
#include <unistd.h>

static std::string fuzzroot;

static void dropfuzzdir()
{
    if (DIR *d = opendir(fuzzroot.c_str())) {
        while (struct dirent *e = readdir(d))
            if (e->d_name[0] != '.' || (e->d_name[1] && (e->d_name[1] != '.' || e->d_name[2])))
                unlink((fuzzroot + "/" + e->d_name).c_str());
        closedir(d);
    }
    rmdir(fuzzroot.c_str());
}

// The folder, with a slash at its end.
static std::string fuzzdir()
{
    const char *t = getenv("TMPDIR");
    std::string tmpl = std::string(t && *t ? t : "/tmp") + "/quorral-fuzz-XXXXXX";
    if (!mkdtemp(&tmpl[0]))
        abort();
    fuzzroot = tmpl;
    atexit(dropfuzzdir);
    return fuzzroot + "/";
}

#endif
