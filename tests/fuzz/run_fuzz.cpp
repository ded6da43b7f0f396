// A whole run over an arbitrary image header, data file, mask header and
// mask data file, written to a temporary folder.  The input is those four
// parts separated by "@@@@"; its first byte picks the side and whether
// the mask is given.
#include "../../driver/driver.h"

#include "fuzzdir.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

static std::string dir;

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    dir = fuzzdir();
    // The run's one line is not what is being tested here.
    if (!freopen("/dev/null", "w", stdout))
        abort();
    return 0;
}

static void put(const char *name, const std::string &bytes)
{
    FILE *f = fopen((dir + name).c_str(), "wb");
    if (!f)
        abort();
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    uint8_t flags = data[0];
    std::string in((const char *)data + 1, size - 1), part[4];
    for (int i = 0, at = 0; i < 4; i++) {
        size_t end = i < 3 ? in.find("@@@@", (size_t)at) : std::string::npos;
        part[i] = in.substr((size_t)at, end == std::string::npos ? std::string::npos : end - (size_t)at);
        if (end == std::string::npos)
            break;
        at = (int)end + 4;
    }
    put("im.hd", part[0]);
    put("im.im", part[1]);
    put("m.hd", part[2]);
    put("m.im", part[3]);
    std::string im = dir + "im", m = dir + "m", box = dir + "box";
    unlink((box + ".vroi").c_str());
    char a0[] = "quorral", side[] = "l";
    side[0] = flags & 1 ? 'r' : 'l';
    char *withmask[] = {a0, &im[0], &m[0], side, &box[0], nullptr};
    char *without[] = {a0, &im[0], side, &box[0], nullptr};
    int ex = flags & 2 ? run(5, withmask) : run(4, without);
    if (ex != 0 && ex != 1 && ex != -1)
        abort();
    // A seed box file exists exactly when the run succeeded.
    if ((access((box + ".vroi").c_str(), F_OK) == 0) != (ex == 0))
        abort();
    return 0;
}
